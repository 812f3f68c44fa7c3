#pragma once
// The addresses shown for review: one row per item, its caption with any marks a check gave it
// and the address picture; the source tag travels with the row unseen.
#include <QAbstractListModel>
#include <QIcon>
#include <vector>

#include "addresses/address_list.h"

namespace mailsift::ui {

class ReviewListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit ReviewListModel(QObject* parent = nullptr);

    const std::vector<ReviewItem>& Items() const { return items_; }
    void SetItems(std::vector<ReviewItem> items);
    void RemoveItem(int row);
    // Appends the mark of an address that failed a check.
    void MarkNotExisting(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::vector<ReviewItem> items_;
    QIcon picture_;
};

}  // namespace mailsift::ui
