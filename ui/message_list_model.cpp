#include "ui/message_list_model.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

#include "platform/thousands.h"

namespace mailsift::ui {

namespace {

const QColor kSortColumnBackground(245, 245, 245);
const QColor kSizeText(128, 128, 128);

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

MessageListModel::MessageListModel(QObject* parent)
    : QAbstractTableModel(parent),
      headers_({QStringLiteral("From"), QStringLiteral("Subject"), QStringLiteral("Send"),
                QStringLiteral("Size")}),
      attachmentPicture_(QStringLiteral(":/pictures/attachment.svg")) {}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString MessageListModel::SendText(const MessageRow& row) {
    return Text(FormatDateTime(row.Received));
}

QString MessageListModel::SizeText(const MessageRow& row) {
    return Text(FormatThousands(int64_t{row.Size}));
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const MessageRow& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            switch (index.column()) {
                case FromColumn:
                    return Text(row.From);
                case SubjectColumn:
                    return Text(row.Subject);
                case SendColumn:
                    return SendText(row);
                case SizeColumn:
                    return SizeText(row);
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (index.column() == FromColumn && row.HasAttachments) return attachmentPicture_;
            return {};
        case Qt::ForegroundRole:
            return QBrush(index.column() == SizeColumn ? kSizeText : QColor(Qt::black));
        case Qt::BackgroundRole:
            if (index.column() == sortColumn_ && sortColumn_ != FromColumn) {
                return QBrush(kSortColumnBackground);
            }
            return {};
        default:
            return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headers_.size()) {
        return headers_[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool MessageListModel::setHeaderData(int section, Qt::Orientation orientation,
                                     const QVariant& value, int role) {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) ||
        section < 0 || section >= headers_.size()) {
        return false;
    }
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void MessageListModel::Clear() {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

void MessageListModel::Append(std::vector<MessageRow>& rows) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

void MessageListModel::ClickColumn(int column) {
    if (column < 0 || column >= kColumnCount) return;
    direction_ = ~direction_;
    if (direction_ == 0) direction_ = 1;
    sortColumn_ = column;
    const bool ascending = direction_ > 0;
    // A strict order for every column: rows that compare equal keep their order, where a
    // comparison that never calls two rows equal would leave the sort undefined.
    auto before = [column, ascending](const MessageRow& a, const MessageRow& b) {
        switch (column) {
            case FromColumn:
            case SubjectColumn: {
                const QString& left = Text(column == FromColumn ? a.From : a.Subject);
                const QString& right = Text(column == FromColumn ? b.From : b.Subject);
                const int order = QString::compare(left, right, Qt::CaseInsensitive);
                return ascending ? order < 0 : order > 0;
            }
            case SendColumn:
                return ascending ? a.Received > b.Received : a.Received < b.Received;
            default:
                return ascending ? a.Size > b.Size : a.Size < b.Size;
        }
    };
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int32_t> persistentMessages;
    persistentMessages.reserve(static_cast<size_t>(persistent.size()));
    for (const QModelIndex& index : persistent) {
        persistentMessages.push_back(rows_[static_cast<size_t>(index.row())].Index);
    }
    std::stable_sort(rows_.begin(), rows_.end(), before);
    // Selections and the current row follow their messages to their new rows.
    std::vector<int> rowOfMessage;
    if (!persistent.isEmpty()) {
        int32_t largest = 0;
        for (const MessageRow& row : rows_) largest = std::max(largest, row.Index);
        rowOfMessage.assign(static_cast<size_t>(largest) + 1, -1);
        for (size_t row = 0; row < rows_.size(); ++row) {
            rowOfMessage[static_cast<size_t>(rows_[row].Index)] = static_cast<int>(row);
        }
    }
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (qsizetype i = 0; i < persistent.size(); ++i) {
        moved.append(index(rowOfMessage[static_cast<size_t>(persistentMessages[i])],
                           persistent[i].column()));
    }
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace mailsift::ui
