#include "common/piece_plan.h"

#include <algorithm>

std::vector<Piece> PlanPieces(std::int64_t total, bool rangesSupported, const PiecePolicy& policy) {
    if (total < 0) return {Piece{0, kUnknownEnd, false}};
    const std::int64_t byLength = policy.minPieceLength > 0 ? total / policy.minPieceLength : 1;
    const std::int64_t count =
        rangesSupported ? std::clamp<std::int64_t>(byLength, 1, std::max(1, policy.maxConnections)) : 1;
    std::vector<Piece> pieces;
    std::int64_t pos = 0;
    for (std::int64_t i = 1; i <= count; ++i) {
        std::int64_t end = i == count ? total : total / count * i;
        if (i < count && policy.alignment > 0) end -= end % policy.alignment;
        if (end <= pos) continue;
        pieces.push_back(Piece{pos, end, false});
        pos = end;
    }
    if (pieces.empty()) pieces.push_back(Piece{0, total, false});
    return pieces;
}

std::optional<std::size_t> TakePiece(std::vector<Piece>& pieces, const PiecePolicy& policy) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].owned && pieces[i].Remaining() > 0) {
            pieces[i].owned = true;
            return i;
        }
    }
    std::optional<std::size_t> largest;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].owned && pieces[i].end != kUnknownEnd &&
            (!largest || pieces[i].Remaining() > pieces[*largest].Remaining()))
            largest = i;
    }
    if (!largest) return std::nullopt;
    Piece& running = pieces[*largest];
    const std::int64_t minSteal = std::max<std::int64_t>(policy.minStealLength, 1);
    if (running.Remaining() < 2 * minSteal) return std::nullopt;
    std::int64_t split = running.pos + running.Remaining() / 2;
    if (policy.alignment > 0 && split - split % policy.alignment > running.pos)
        split -= split % policy.alignment;
    const Piece stolen{split, running.end, true};
    running.end = split;
    pieces.push_back(stolen);
    return pieces.size() - 1;
}

std::int64_t RemainingBytes(const std::vector<Piece>& pieces) {
    std::int64_t remaining = 0;
    for (const Piece& piece : pieces)
        if (piece.end != kUnknownEnd) remaining += piece.Remaining();
    return remaining;
}
