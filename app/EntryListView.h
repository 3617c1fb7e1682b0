#pragma once

#include <QCollator>
#include <QIcon>
#include <QWidget>

#include <functional>

class QAbstractItemView;
class QItemSelection;
class QItemSelectionModel;
class QListView;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;

// The entry list: rows captioned with entry names, kept sorted by caption,
// with four statistics columns (sub-items). It shows them as large icons,
// small icons, a list, or a report with column headers; the views share one
// model and one selection, so switching keeps the selection.
class TEntryListView : public QWidget
{
    Q_OBJECT

public:
    enum class ViewStyle { LargeIcon, SmallIcon, List, Report };

    explicit TEntryListView(QWidget* parent = nullptr);

    // Column headers and widths of the report view.
    void addColumn(const QString& caption, int width);
    // Every row shows the same picture, in the size the view needs.
    void setRowIcon(const QIcon& icon);

    // Inserts a row at its sorted place and returns its index.
    int addRow(const QString& caption);
    int rowCount() const;
    QString caption(int row) const;
    // Sub-items 1.. of a row: texts appended after the caption.
    QStringList subItems(int row) const;
    void clearSubItems(int row);
    void appendSubItem(int row, const QString& text);

    bool isSelected(int row) const;
    void setSelected(int row, bool selected);

    ViewStyle viewStyle() const { return style; }
    void setViewStyle(ViewStyle value);
    // The view in use, e.g. for focus and for pointing at rows in tests.
    QAbstractItemView* currentView() const;
    // Row under a point in this widget's coordinates, or -1.
    int rowAt(const QPoint& pos) const;

    // A row's selection changed.
    std::function<void(int row, bool selected)> OnChange;
    // A mouse button was released over the list, at a point in its coordinates.
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)> OnMouseUp;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void setupView(QAbstractItemView* view);

    QCollator collator;
    QStandardItemModel* model;
    QItemSelectionModel* selection;
    QListView* iconView;
    QTreeView* reportView;
    QStackedLayout* stack;
    QIcon rowIcon;
    ViewStyle style = ViewStyle::LargeIcon;
    int columnCount = 0;
    int subItemCount = 0;
};
