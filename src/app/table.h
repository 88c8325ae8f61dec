// The table of found links (_table) and the status line (_consoleOut). Every
// access is one message to the control, which the window system carries out on
// the window's thread, so the dispatcher and the pool's workers may call these
// too. Rows are only appended; a row index stays valid for the program's life.
#pragma once

#include <windows.h>

#include <string>

extern HWND _table;
extern HWND _consoleOut;

enum TableColumn { ColumnId = 0, ColumnType = 1, ColumnMediaUrl = 2, ColumnStatus = 3 };

int TableRowCount();
// The GBK text of a cell; empty for a row or column that does not exist.
std::string TableCellText(int row, int column);
void SetTableCell(int row, int column, const std::string& text);
// Appends an empty row and returns its 0-based index (-1 when the list refused).
int AppendTableRow();
