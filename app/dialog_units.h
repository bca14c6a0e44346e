// Places widgets at positions given in dialog units: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height. The arrangement thus
// looks the same at the default font and grows or shrinks with it.
#pragma once

#include <QFontMetrics>
#include <QLayout>
#include <QRect>
#include <QSize>
#include <vector>

namespace rw {

// Base units of a font, in pixels: average character width and character height.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics);
// A rectangle in dialog units converted to pixels (rounded to nearest).
QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base);

class DialogUnitLayout final : public QLayout {
  public:
    // `size` is the client area in dialog units.
    DialogUnitLayout(QWidget* parent, QSize size);
    ~DialogUnitLayout() override;

    // Places `widget` at `units`. With `fitText`, the widget's own text must fit its rectangle:
    // the horizontal unit grows until it does (fixed labels, whose fonts vary in proportion).
    void AddWidget(QWidget* widget, const QRect& units, bool fitText = false);
    // Places `widget` at `units`, grown to the right and down to its minimum size when that is
    // larger; the window grows with it. For the right-most and lowest widget only: nothing is
    // moved out of its way.
    void AddGrowingWidget(QWidget* widget, const QRect& units);

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override { return sizeHint(); }
    void setGeometry(const QRect& rect) override;

  private:
    struct Entry {
        QLayoutItem* item;
        QRect units;
        bool fitText;
        bool grows = false;
    };
    DialogBaseUnits Base() const;
    QRect PixelsOf(const Entry& entry, DialogBaseUnits base) const;

    QSize m_size;
    std::vector<Entry> m_items;
};

}  // namespace rw
