// How a download is cut into pieces and how an idle connection finds work:
// pure rules over the list of pieces, free of Win32.
//
// A piece is the byte range [pos, end) still to fetch; a connection owns at
// most one piece at a time and moves pos on as bytes arrive. Like the good
// download managers, the plan starts with one piece per connection, and a
// connection that finishes early takes the upper half of the largest piece
// still running, so one slow connection does not hold up the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// The end of the one piece of a download whose size is unknown.
constexpr std::int64_t kUnknownEnd = std::numeric_limits<std::int64_t>::max();

struct Piece {
    std::int64_t pos = 0;
    std::int64_t end = 0;
    bool owned = false;

    std::int64_t Remaining() const { return end - pos; }
};

// CDNs commonly throttle each connection, so connections are what buys speed;
// 16 is also the most aria2 allows per server. A piece of at least 4 MiB keeps
// short videos on few connections.
struct PiecePolicy {
    int maxConnections = 16;
    std::int64_t minPieceLength = 4 << 20;    // no connection is opened for less
    std::int64_t minStealLength = 512 << 10;  // the least an idle connection takes over
    std::int64_t alignment = 64 << 10;        // piece borders fall on multiples of this
};

// The first plan: one piece per connection when the server gives ranges and the
// file is large enough, else one piece (of unknown end when total is negative).
std::vector<Piece> PlanPieces(std::int64_t total, bool rangesSupported, const PiecePolicy& policy);

// Gives a connection work: an unowned piece with bytes left, or else the upper
// half of the owned piece with most left when that half is worth a connection
// (the piece's end moves down to the split). The index of the piece now owned.
std::optional<std::size_t> TakePiece(std::vector<Piece>& pieces, const PiecePolicy& policy);

// Bytes still to fetch (pieces of unknown end count what is known: nothing).
std::int64_t RemainingBytes(const std::vector<Piece>& pieces);
