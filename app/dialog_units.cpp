#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>
#include <QWidgetItem>

namespace rw {

DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics) {
    // The average width of the 52 letters, rounded, as dialog templates measure it.
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(metrics.horizontalAdvance(kLetters) + 26) / 52, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base) {
    auto hx = [&](int v) { return (v * base.x + 2) / 4; };
    auto hy = [&](int v) { return (v * base.y + 4) / 8; };
    return QRect(hx(units.x()), hy(units.y()), hx(units.width()), hy(units.height()));
}

DialogUnitLayout::DialogUnitLayout(QWidget* parent, QSize size) : QLayout(parent), m_size(size) {
    setContentsMargins(0, 0, 0, 0);
    setSizeConstraint(QLayout::SetFixedSize);
}

DialogUnitLayout::~DialogUnitLayout() {
    for (Entry& e : m_items) delete e.item;  // QLayout's ownership contract
}

void DialogUnitLayout::AddWidget(QWidget* widget, const QRect& units, bool fitText) {
    addChildWidget(widget);
    m_items.push_back({new QWidgetItem(widget), units, fitText});
    invalidate();
}

void DialogUnitLayout::AddGrowingWidget(QWidget* widget, const QRect& units) {
    addChildWidget(widget);
    m_items.push_back({new QWidgetItem(widget), units, false, true});
    invalidate();
}

void DialogUnitLayout::addItem(QLayoutItem* item) {
    m_items.push_back({item, QRect(), false});
}

QLayoutItem* DialogUnitLayout::itemAt(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return m_items[static_cast<size_t>(index)].item;
}

QLayoutItem* DialogUnitLayout::takeAt(int index) {
    if (index < 0 || index >= count()) return nullptr;
    QLayoutItem* item = m_items[static_cast<size_t>(index)].item;
    m_items.erase(m_items.begin() + index);
    return item;
}

DialogBaseUnits DialogUnitLayout::Base() const {
    const QWidget* w = parentWidget();
    DialogBaseUnits base = BaseUnitsOf(w ? w->fontMetrics() : QFontMetrics(QFont()));
    // Fonts differ in their proportions: widen the horizontal unit until every fixed text fits
    // its rectangle, so that the arrangement stays the same and nothing overlaps.
    for (const Entry& e : m_items) {
        if (!e.fitText || e.units.width() <= 0) continue;
        const int needed = (4 * e.item->sizeHint().width() + e.units.width() - 1) / e.units.width();
        if (needed > base.x) base.x = needed;
    }
    return base;
}

QRect DialogUnitLayout::PixelsOf(const Entry& entry, DialogBaseUnits base) const {
    QRect pixels = DialogUnitsToPixels(entry.units, base);
    if (entry.grows) pixels.setSize(pixels.size().expandedTo(entry.item->minimumSize()));
    return pixels;
}

QSize DialogUnitLayout::sizeHint() const {
    const DialogBaseUnits base = Base();
    const QSize size = DialogUnitsToPixels(QRect(QPoint(0, 0), m_size), base).size();
    // A grown widget keeps its margins to the window's edges.
    QSize growth(0, 0);
    for (const Entry& e : m_items) {
        if (e.grows)
            growth = growth.expandedTo(PixelsOf(e, base).size() -
                                       DialogUnitsToPixels(e.units, base).size());
    }
    return size + growth;
}

void DialogUnitLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const DialogBaseUnits base = Base();
    for (Entry& e : m_items) e.item->setGeometry(PixelsOf(e, base).translated(rect.topLeft()));
}

}  // namespace rw
