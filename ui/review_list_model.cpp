#include "ui/review_list_model.h"

#include "addresses/address_check.h"

namespace mailsift::ui {

ReviewListModel::ReviewListModel(QObject* parent)
    : QAbstractListModel(parent), picture_(QStringLiteral(":/pictures/address.svg")) {}

void ReviewListModel::SetItems(std::vector<ReviewItem> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

void ReviewListModel::RemoveItem(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    items_.erase(items_.begin() + row);
    endRemoveRows();
}

void ReviewListModel::MarkNotExisting(int row) {
    if (row < 0 || row >= rowCount()) return;
    items_[static_cast<size_t>(row)].Caption += kNotExistsMark;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

int ReviewListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant ReviewListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ReviewItem& item = items_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(item.Caption);
        case Qt::DecorationRole:
            return picture_;
        default:
            return {};
    }
}

}  // namespace mailsift::ui
