#include "wavefiles/SortedListBox.h"
#include <QScrollBar>

namespace tamblor {

SortedListBox::SortedListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // One scroll step per entry, so the scroll bar's value is the top entry's row.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

int SortedListBox::compareTexts(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = a[i].toCaseFolded().unicode();
        const char16_t cb = b[i].toCaseFolded().unicode();
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int SortedListBox::addEntry(const QString& text, int data)
{
    // Upper bound by binary search: equal texts keep the order they were added in.
    int lo = 0, hi = count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareTexts(item(mid)->text(), text) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    auto* entry = new QListWidgetItem(text);
    entry->setData(Qt::UserRole, data);
    insertItem(lo, entry);
    return lo;
}

int SortedListBox::itemData(int row) const
{
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(Qt::UserRole).toInt() : 0;
}

int SortedListBox::findItemData(int data) const
{
    for (int row = 0; row < count(); ++row) {
        if (itemData(row) == data)
            return row;
    }
    return -1;
}

int SortedListBox::selectedRow() const
{
    const QList<QListWidgetItem*> sel = selectedItems();
    return sel.isEmpty() ? -1 : row(sel.first());
}

int SortedListBox::topIndex() const
{
    if (count() == 0)
        return -1;
    return verticalScrollBar()->value();
}

void SortedListBox::setTopIndex(int row)
{
    if (QListWidgetItem* entry = item(row))
        scrollToItem(entry, QAbstractItemView::PositionAtTop);
}

} // namespace tamblor
