#include "gui/compose/RichEditMT.h"

#include "core/shared/Big5.h"

#include <QAbstractTextDocumentLayout>
#include <QDataStream>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace norvi {

namespace {

// Where an entry's origin travels with its characters.
constexpr int kEntryKind = QTextFormat::UserProperty + 1;
constexpr int kEntryId = QTextFormat::UserProperty + 2;

// Copied entries keep what they are when pasted back into a recipient field.
const QString kRunsMime = QStringLiteral("application/x-norvi-recipient-runs");

// A paragraph of this many entries re-lays out in well under a millisecond; a list of 100,000 entries in
// one paragraph would take half a second per keystroke.
constexpr int kEntriesPerParagraph = 100;

FieldEntryKey keyOf(const QTextCharFormat& format) {
    FieldEntryKey key;
    if (!format.hasProperty(kEntryKind))
        return key;
    key.entry = true;
    key.kind = uint8_t(format.intProperty(kEntryKind));
    key.id = int32_t(format.intProperty(kEntryId));
    return key;
}

bool isTypedText(QChar c) {
    return c.unicode() >= 0x20 && c.unicode() != 0x7f;
}

} // namespace

RichEditMT::RichEditMT(QWidget* parent) : QTextEdit(parent) {
    setObjectName(QStringLiteral("RichEditMT"));
    setAcceptRichText(false);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Numbers and Chinese names need no shaping rules; skipping them halves the layout of a long list.
    QFont plainFont = font();
    plainFont.setStyleStrategy(QFont::PreferNoShaping);
    setFont(plainFont);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { emit heightRequested(requestedHeight()); });
}

QTextCharFormat RichEditMT::entryFormat(const FieldEntryKey& key) {
    QTextCharFormat format;
    if (!key.entry)
        return format;
    format.setProperty(kEntryKind, int(key.kind));
    format.setProperty(kEntryId, int(key.id));
    if (key.kind == KindListRow) {
        format.setFontItalic(true);
    } else {
        format.setFontUnderline(true);
        if (key.id <= 0)
            format.setFontWeight(QFont::Bold);
    }
    return format;
}

RichEditMT::Span RichEditMT::entryAt(int pos) const {
    if (pos < 0 || pos >= document()->characterCount() - 1)
        return {};
    const QTextBlock block = document()->findBlock(pos);
    if (!block.isValid())
        return {};
    bool found = false;
    int runStart = -1;
    int runEnd = -1;
    FieldEntryKey runKey;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const FieldEntryKey key = keyOf(fragment.charFormat());
        const int begin = fragment.position();
        const int end = begin + fragment.length();
        if (runStart >= 0 && key.entry && key == runKey && begin == runEnd) {
            runEnd = end;
        } else {
            if (found)
                break;
            runStart = begin;
            runEnd = end;
            runKey = key;
        }
        if (begin <= pos && pos < end) {
            if (!key.entry)
                return {};
            found = true;
        }
    }
    if (!found)
        return {};
    return {runStart, runEnd - runStart};
}

FieldEntryKey RichEditMT::keyAt(int pos) const {
    if (pos < 0 || pos >= document()->characterCount() - 1)
        return {};
    QTextCursor cursor(document());
    cursor.setPosition(pos + 1); // the format of the character before the position
    return keyOf(cursor.charFormat());
}

void RichEditMT::setEntries(const std::list<sMtData>& entries) {
    setUndoRedoEnabled(false);
    clear();
    QTextCursor cursor(document());
    const QTextCharFormat plain;
    const QString separator = QStringLiteral("; ");
    cursor.beginEditBlock();
    int n = 0;
    for (const sMtData& entry : entries) {
        // A list-file row without a number has no text to show or to read back; it is never sent.
        if (entry.label[0] == '\0')
            continue;
        if (n > 0 && n % kEntriesPerParagraph == 0)
            cursor.insertBlock(QTextBlockFormat(), plain);
        cursor.insertText(LabelText(entry), entryFormat(KeyOfEntry(entry)));
        cursor.insertText(separator, plain);
        ++n;
    }
    cursor.endEditBlock();
    setUndoRedoEnabled(true);
    // The caret goes in front of the trailing space, ready for the next typed number.
    cursor.setPosition(std::max(0, document()->characterCount() - 2));
    cursor.setCharFormat(plain);
    setTextCursor(cursor);
}

void RichEditMT::readEntries(RecipientFieldReader& reader) const {
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                reader.addRun(fragment.text(), keyOf(fragment.charFormat()), fragment.position());
        }
        reader.endLine();
    }
}

int32_t RichEditMT::firstListRow(const std::function<bool(int32_t line)>& wanted) const {
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const FieldEntryKey key = keyOf(it.fragment().charFormat());
            if (key.entry && key.kind == KindListRow && wanted(key.id))
                return key.id;
        }
    }
    return -1;
}

void RichEditMT::setInsertMode(bool insert) {
    m_insertMode = insert;
    setOverwriteMode(!insert); // a wide caret says that typing replaces
}

int RichEditMT::requestedHeight() const {
    const qreal textHeight = document()->documentLayout()->documentSize().height();
    return int(std::ceil(textHeight)) + 2 * frameWidth();
}

// ---- keys ----

void RichEditMT::keyPressEvent(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool command = e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Recipients are separated by ";", never by a line: Return goes on to the dialog, whose default
        // button it presses.
        e->ignore();
        return;
    case Qt::Key_Insert:
        if (e->modifiers() == Qt::NoModifier) {
            setInsertMode(!m_insertMode);
            e->accept();
            return;
        }
        break;
    case Qt::Key_Backspace:
        if (!textCursor().hasSelection())
            selectEntryTouching(textCursor().position() - 1);
        break;
    case Qt::Key_Delete:
        if (!textCursor().hasSelection())
            selectEntryTouching(textCursor().position());
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!shift) {
            QTextEdit::keyPressEvent(e);
            snapCaret(e->key() == Qt::Key_Right || e->key() == Qt::Key_End);
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (!shift) {
            snapCaret(false);
            QTextEdit::keyPressEvent(e);
            snapCaret(false);
            return;
        }
        break;
    default:
        break;
    }
    const QString text = e->text();
    if (!command && !text.isEmpty() && isTypedText(text.at(0))) {
        typeText(text);
        e->accept();
        return;
    }
    QTextEdit::keyPressEvent(e);
}

void RichEditMT::inputMethodEvent(QInputMethodEvent* e) {
    const QString commit = e->commitString();
    if (commit.isEmpty()) {
        QTextEdit::inputMethodEvent(e);
        return;
    }
    // The committed text is typed like any other (plain, never part of the entry beside it, refused
    // without a Big5 form); what it replaces is selected first, and what the input method is still
    // composing follows it.
    if (e->replacementLength() != 0) {
        QTextCursor cursor = textCursor();
        const int from = std::max(0, cursor.position() + e->replacementStart());
        cursor.setPosition(from);
        cursor.setPosition(std::min(from + e->replacementLength(), document()->characterCount() - 1),
                           QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
    typeText(commit);
    QInputMethodEvent composing(e->preeditString(), e->attributes());
    QTextEdit::inputMethodEvent(&composing);
    e->accept();
}

bool RichEditMT::refuseUnmappable(const QString& text) {
    QByteArray bytes;
    QString character;
    if (toBig5(text, bytes, &character))
        return false;
    emit unmappableRefused(character);
    return true;
}

void RichEditMT::typeText(const QString& text) {
    if (refuseUnmappable(text))
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    if (cursor.hasSelection()) {
        cursor.removeSelectedText();
    } else if (!m_insertMode) {
        const Span entry = entryAt(cursor.position());
        if (entry.valid()) {
            cursor.setPosition(entry.end(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            for (int i = 0; i < text.size() && !cursor.atBlockEnd() && !entryAt(cursor.position()).valid(); ++i)
                cursor.deleteChar();
        }
    }
    // Plain whatever stands next to the caret, so typed numbers never take an entry's identity.
    cursor.insertText(text, QTextCharFormat());
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void RichEditMT::selectEntryTouching(int charPos) {
    const Span entry = entryAt(charPos);
    if (!entry.valid())
        return;
    QTextCursor cursor = textCursor();
    cursor.setPosition(entry.start);
    cursor.setPosition(entry.end(), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    m_clicked = entry;
}

void RichEditMT::snapCaret(bool toEnd) {
    QTextCursor cursor = textCursor();
    const int pos = cursor.position();
    const Span entry = entryAt(pos);
    if (!entry.valid() || entry.start == pos)
        return;
    cursor.setPosition(toEnd ? entry.end() : entry.start);
    setTextCursor(cursor);
}

// ---- mouse ----

void RichEditMT::mouseDoubleClickEvent(QMouseEvent* e) {
    m_afterDoubleClick = true;
    QTextEdit::mouseDoubleClickEvent(e);
}

void RichEditMT::mouseReleaseEvent(QMouseEvent* e) {
    QTextEdit::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    m_clicked = Span();
    if (m_afterDoubleClick)
        m_afterDoubleClick = false;
    else if (e->modifiers() & Qt::ShiftModifier)
        widenMovedEnd();
    else if (!textCursor().hasSelection())
        selectEntryUnder(e->position().toPoint());
    emit mouseReleased();
}

void RichEditMT::widenMovedEnd() {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    const int anchor = cursor.anchor();
    int pos = cursor.position();
    if (pos > anchor) {
        const Span entry = entryAt(pos - 1);
        if (entry.valid())
            pos = std::max(pos, entry.end());
    } else {
        const Span entry = entryAt(pos);
        if (entry.valid())
            pos = std::min(pos, entry.start);
    }
    cursor.setPosition(anchor);
    cursor.setPosition(pos, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void RichEditMT::selectEntryUnder(const QPoint& viewportPos) {
    const QPointF docPos = QPointF(viewportPos) + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int near = document()->documentLayout()->hitTest(docPos, Qt::FuzzyHit);
    if (near < 0)
        return;
    const QTextBlock block = document()->findBlock(near);
    const QTextLayout* layout = block.layout();
    if (!layout)
        return;
    // The character under the pointer, not the nearest gap between characters: a click on the right half
    // of an entry's last character is still a click on the entry.
    const QPointF inBlock = docPos - layout->position();
    int charPos = -1;
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (inBlock.y() < line.y() || inBlock.y() >= line.y() + line.height())
            continue;
        if (inBlock.x() < line.x() || inBlock.x() >= line.x() + line.naturalTextWidth())
            return;
        charPos = block.position() + line.xToCursor(inBlock.x(), QTextLine::CursorOnCharacter);
        break;
    }
    selectEntryTouching(charPos);
}

// ---- clipboard and drops ----

QMimeData* RichEditMT::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    data->setText(text);

    QByteArray runs;
    QDataStream out(&runs, QIODevice::WriteOnly);
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        if (block.position() > from)
            out << QStringLiteral("\n") << false << quint8(0) << qint32(0);
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int begin = std::max(from, fragment.position());
            const int end = std::min(to, fragment.position() + fragment.length());
            if (!fragment.isValid() || begin >= end)
                continue;
            const FieldEntryKey key = keyOf(fragment.charFormat());
            out << fragment.text().mid(begin - fragment.position(), end - begin) << key.entry << quint8(key.kind)
                << qint32(key.id);
        }
    }
    data->setData(kRunsMime, runs);
    return data;
}

bool RichEditMT::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasFormat(kRunsMime) || source->hasText();
}

void RichEditMT::insertFromMimeData(const QMimeData* source) {
    if (source->hasFormat(kRunsMime))
        insertRuns(source);
    else if (source->hasText())
        typeText(source->text());
}

void RichEditMT::insertRuns(const QMimeData* source) {
    struct Run {
        QString text;
        FieldEntryKey key;
    };
    QList<Run> runs;
    QString all;
    QDataStream in(source->data(kRunsMime));
    while (!in.atEnd()) {
        Run run;
        bool entry = false;
        quint8 kind = 0;
        qint32 id = 0;
        in >> run.text >> entry >> kind >> id;
        if (in.status() != QDataStream::Ok)
            break;
        run.key.entry = entry && (kind == KindAddressBook || kind == KindListRow);
        run.key.kind = kind;
        run.key.id = id;
        all += run.text;
        runs.append(run);
    }
    // The runs may come from another program: they pass the same check as typed text.
    if (refuseUnmappable(all))
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    for (const Run& run : runs)
        cursor.insertText(run.text, entryFormat(run.key));
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace norvi
