#pragma once

#include "core/compose/RecipientField.h"

#include <QTextEdit>

#include <functional>
#include <list>

class QMimeData;

namespace norvi {

// The send dialog's recipient field: a rich-text edit whose address-book entries and list-file rows are
// styled runs (member underlined, group underlined and bold, list-file row italic) that carry their kind
// and id in character-format properties, with typed numbers as plain text between them. It behaves like
// a list of whole entries: typing never extends an entry, Backspace and Delete take an entry away as a
// unit, the arrows step over entries, a click selects a whole entry, Return is never typed into it (it
// presses the dialog's default button). It asks for more height as its text
// grows (heightRequested); the dialog decides how much it gets.
class RichEditMT : public QTextEdit {
    Q_OBJECT
public:
    explicit RichEditMT(QWidget* parent = nullptr);

    // A range of characters [start, start + length).
    struct Span {
        int start = -1;
        int length = 0;
        bool valid() const { return start >= 0; }
        int end() const { return start + length; }
    };

    // The entry the character at `pos` belongs to, or an invalid span for typed text.
    Span entryAt(int pos) const;
    FieldEntryKey keyAt(int pos) const;

    // Replaces the whole text by the entries, each followed by "; ". Long lists are cut into paragraphs
    // of a hundred entries: the field then re-lays out one paragraph per keystroke, not all of them.
    void setEntries(const std::list<sMtData>& entries);
    // Hands the text run by run to `reader`, in field order.
    void readEntries(RecipientFieldReader& reader) const;
    // The line of the first list-file row in the field for which `wanted` holds, or -1. Reads no text.
    int32_t firstListRow(const std::function<bool(int32_t line)>& wanted) const;

    // true: typed characters are inserted; false: they overwrite (the Insert key toggles).
    bool insertMode() const { return m_insertMode; }
    void setInsertMode(bool insert);

    // The entry the last left click selected, or an invalid span when that click was not on an entry.
    Span lastClickedEntry() const { return m_clicked; }

    // The height the text needs: every line of it, with the frame.
    int requestedHeight() const;

    // The format of an entry's characters.
    static QTextCharFormat entryFormat(const FieldEntryKey& key);

signals:
    void heightRequested(int height);
    // The left mouse button was released over the field, after a click selected its entry.
    void mouseReleased();
    // Typed or pasted text was refused: `character` has no Big5 form.
    void unmappableRefused(const QString& character);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    // Typed or pasted plain text: replaces the selection, overwrites in overwrite mode, never styled.
    void typeText(const QString& text);
    bool refuseUnmappable(const QString& text);
    // Backspace and Delete: the entry before / after the caret becomes the selection.
    void selectEntryTouching(int charPos);
    // The caret is not left inside an entry: to its start, or with `toEnd` to its end.
    void snapCaret(bool toEnd);
    // Shift-click: the end of the selection that moved is widened to the whole entry it is in.
    void widenMovedEnd();
    void selectEntryUnder(const QPoint& viewportPos);
    void insertRuns(const QMimeData* source);

    bool m_insertMode = true;
    bool m_afterDoubleClick = false;
    Span m_clicked;
};

} // namespace norvi
