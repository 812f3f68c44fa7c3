#pragma once
// The store viewer's message list as a model: one compact row per message of the folder shown
// (a store's folder may hold hundreds of thousands), with the sort of the viewer's column
// clicks.
#include <QAbstractTableModel>
#include <QIcon>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/date_time.h"

namespace mailsift::ui {

struct MessageRow {
    std::string From;  // the sender's name, or the address when the name is empty
    std::string Subject;
    TDateTime Received = 0;
    int32_t Size = 0;
    int32_t Index = 0;  // the message's index in its folder
    bool HasAttachments = false;
};

class MessageListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { FromColumn = 0, SubjectColumn = 1, SendColumn = 2, SizeColumn = 3 };
    static constexpr int kColumnCount = 4;

    explicit MessageListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role) override;

    void Clear();
    // Appends rows at the end, in one insertion.
    void Append(std::vector<MessageRow>& rows);
    const MessageRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }

    // A click on column: the direction's sign flips with every click, whichever column; the
    // rows are sorted by column in that direction. A positive direction puts names and
    // subjects in ascending order and dates and sizes latest and largest first.
    void ClickColumn(int column);
    int SortColumn() const { return sortColumn_; }
    int SortDirection() const { return direction_; }

    // The texts shown for a row's cells.
    static QString SendText(const MessageRow& row);
    static QString SizeText(const MessageRow& row);

  private:
    std::vector<MessageRow> rows_;
    QStringList headers_;
    QIcon attachmentPicture_;
    int sortColumn_ = 0;
    int direction_ = 0;
};

}  // namespace mailsift::ui
