#include "app/EntryListView.h"

#include "app/SortedNameList.h"

#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>

#include <set>

TEntryListView::TEntryListView(QWidget* parent)
    : QWidget(parent)
    , collator(entryNameCollator(Qt::CaseSensitive))
    , model(new QStandardItemModel(this))
    , selection(new QItemSelectionModel(model, this))
    , iconView(new QListView(this))
    , reportView(new QTreeView(this))
    , stack(new QStackedLayout(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setupView(iconView);
    setupView(reportView);
    reportView->setRootIsDecorated(false);
    reportView->setItemsExpandable(false);
    reportView->setSelectionBehavior(QAbstractItemView::SelectRows);
    reportView->header()->setSectionsClickable(false);
    reportView->header()->setSectionsMovable(false);
    reportView->header()->setStretchLastSection(false);
    stack->addWidget(iconView);
    stack->addWidget(reportView);
    connect(selection, &QItemSelectionModel::selectionChanged, this, &TEntryListView::selectionChanged);
    setViewStyle(ViewStyle::LargeIcon);
}

void TEntryListView::setupView(QAbstractItemView* view)
{
    view->setModel(model);
    view->setSelectionModel(selection);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Captions are entry names: a caption edited in place would be dialed
    // under a name that no entry has.
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->viewport()->installEventFilter(this);
}

void TEntryListView::addColumn(const QString& caption, int width)
{
    const int column = columnCount++;
    model->setColumnCount(columnCount);
    subItemCount = columnCount - 1;
    model->setHeaderData(column, Qt::Horizontal, caption);
    reportView->setColumnWidth(column, width);
}

void TEntryListView::setRowIcon(const QIcon& icon)
{
    rowIcon = icon;
    for (int row = 0; row < model->rowCount(); ++row)
        model->item(row)->setIcon(icon);
}

int TEntryListView::addRow(const QString& caption)
{
    int row = 0;
    while (row < model->rowCount() && collator.compare(this->caption(row), caption) <= 0)
        ++row;
    QList<QStandardItem*> items { new QStandardItem(rowIcon, caption) };
    for (int column = 1; column <= subItemCount; ++column)
        items.append(new QStandardItem());
    model->insertRow(row, items);
    return row;
}

int TEntryListView::rowCount() const
{
    return model->rowCount();
}

QString TEntryListView::caption(int row) const
{
    return model->item(row, 0)->text();
}

QStringList TEntryListView::subItems(int row) const
{
    QStringList texts;
    for (int column = 1; column <= subItemCount; ++column) {
        const auto* item = model->item(row, column);
        if (item == nullptr || !item->data(Qt::DisplayRole).isValid())
            break;
        texts.append(item->text());
    }
    return texts;
}

void TEntryListView::clearSubItems(int row)
{
    for (int column = 1; column <= subItemCount; ++column)
        model->setItem(row, column, new QStandardItem());
}

void TEntryListView::appendSubItem(int row, const QString& text)
{
    const int column = static_cast<int>(subItems(row).size()) + 1;
    if (column > subItemCount)
        return; // no column to show it in
    model->setItem(row, column, new QStandardItem(text));
}

bool TEntryListView::isSelected(int row) const
{
    return selection->isRowSelected(row, QModelIndex()) || selection->isSelected(model->index(row, 0));
}

void TEntryListView::setSelected(int row, bool selected)
{
    selection->select(model->index(row, 0),
        (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
}

void TEntryListView::setViewStyle(ViewStyle value)
{
    style = value;
    if (value == ViewStyle::Report) {
        stack->setCurrentWidget(reportView);
        return;
    }
    const bool large = value == ViewStyle::LargeIcon;
    iconView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    iconView->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    iconView->setFlow(value == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
    iconView->setWrapping(true);
    iconView->setResizeMode(QListView::Adjust);
    iconView->setMovement(QListView::Static);
    iconView->setGridSize(large ? QSize(75, 70) : QSize());
    iconView->setWordWrap(large);
    iconView->setSpacing(large ? 0 : 2);
    stack->setCurrentWidget(iconView);
}

QAbstractItemView* TEntryListView::currentView() const
{
    return style == ViewStyle::Report ? static_cast<QAbstractItemView*>(reportView) : iconView;
}

int TEntryListView::rowAt(const QPoint& pos) const
{
    const QAbstractItemView* view = currentView();
    const QPoint inViewport = view->viewport()->mapFrom(this, pos);
    const QModelIndex index = view->indexAt(inViewport);
    return index.isValid() ? index.row() : -1;
}

void TEntryListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (!OnChange)
        return;
    // A selection of whole rows holds one index per column: report each row once.
    auto rowsOf = [](const QItemSelection& part) {
        std::set<int> rows;
        for (const QModelIndex& index : part.indexes())
            rows.insert(index.row());
        return rows;
    };
    for (int row : rowsOf(deselected))
        OnChange(row, isSelected(row));
    for (int row : rowsOf(selected))
        OnChange(row, isSelected(row));
}

bool TEntryListView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && OnMouseUp) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = static_cast<QWidget*>(watched)->mapTo(this, mouse->position().toPoint());
        OnMouseUp(mouse->button(), mouse->modifiers(), at.x(), at.y());
    }
    return QWidget::eventFilter(watched, event);
}

void TEntryListView::focusInEvent(QFocusEvent*)
{
    currentView()->setFocus();
}
