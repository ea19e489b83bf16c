#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

#include <functional>
#include <initializer_list>

class QPainter;

namespace norvi {

// The one image list the windows share, indexed as the lists and trees of every window expect:
// 4 address-book root, 11 member, 12 group, 13 default number, 14 typed number, 15 list-file row,
// 16 reservation. Other indexes are empty. Drawn here rather than loaded, so nothing can be missing.
// Needs a QGuiApplication.
class IconTable {
public:
    static constexpr int kCount = 17;
    static constexpr QColor kOutline{60, 60, 70}; // the line every picture is outlined with

    // A picture drawn in a `units` x `units` square, rendered at each of `sizes`: how every icon of the
    // program is made, the windows' own glyphs included.
    using Draw = std::function<void(QPainter&)>;
    static QIcon drawnIcon(const Draw& draw, int units, std::initializer_list<int> sizes);

    static QIcon icon(int index);     // a null icon for an empty or unknown index
    static QPixmap pixmap(int index); // 16 x 16; null for an empty or unknown index

    // The main window's tool-bar glyphs, 32 x 32.
    enum Glyph {
        GlyphSendSMS,
        GlyphQuerySMS,
        GlyphCancelSMS,
        GlyphSave,
        GlyphLoad,
        GlyphAdrBk,
        GlyphSettings,
        GlyphMsgWin,
        GlyphAbout,
    };
    static QIcon glyph(Glyph g);
    static QIcon programIcon();
    // The program's picture painted into the square (0, 0)-(size, size): the window icon and the icons
    // installed for the desktop menu are drawn from this one picture.
    static void paintProgramIcon(QPainter& painter, qreal size);
};

} // namespace norvi
