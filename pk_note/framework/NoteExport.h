#pragma once
// "导出Excel" of a document window: the note as the window shows it, written
// to an .xlsx file the user names. The title, then the master fields as
// caption and shown text, then the lines with the grid's shown columns in
// their order, captions and display formats (numbers stay numbers), and the
// grid's footer.

class QString;
class TBasenoteForm;
namespace widgets {
class TRqDBGrid;
}

// Checks the export right of the note type (item 2000 + type, action 4, with
// its message), asks for the file name and writes the file. False when
// refused, cancelled or the file could not be written (the error is shown).
bool ExportNoteToExcel(TBasenoteForm *form);

// A list window's grid as it shows, under `title`: asks for the file name and
// writes the shown columns and rows. False when cancelled or not written (the
// error is shown).
bool OutToExcelFun(widgets::TRqDBGrid *grid, const QString &title);
