#pragma once
// The read-only tables the provider hands out, whose rows are read one at a time from a row
// source, and the row sources whose values are known in advance.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// The rows behind a table, read one at a time with whatever columns are set.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual mapi::ULONG Count() = 0;
    // Fills values[i] for tags[i]; a cell without a value holds PT_ERROR and the reason.
    virtual void ReadRow(mapi::ULONG row, const std::vector<mapi::ULONG>& tags,
                         mapi::SPropValue* values, void* parent) = 0;
};

mapi::LPMAPITABLE NewTable(std::unique_ptr<RowSource> rows, std::vector<mapi::ULONG> columns);

// Frees a row set with the values of each row; a recipient list has the same layout.
void FreeRowSet(mapi::LPSRowSet set);
struct RowSetDeleter {
    void operator()(mapi::LPSRowSet set) const { FreeRowSet(set); }
};

// Rows whose values are known in advance (service and store tables). A string is stored once
// as UTF-8 and served in either string form.
struct FixedValue {
    mapi::ULONG tag;
    std::variant<mapi::ULONG, std::string, std::vector<mapi::BYTE>> value;
};
using FixedRow = std::vector<FixedValue>;
std::unique_ptr<RowSource> MakeFixedRows(std::vector<FixedRow> rows);
// Copies one fixed value into `out` as the type `tag` asks for.
mapi::HRESULT ReadFixedValue(const FixedValue& value, mapi::ULONG tag, mapi::SPropValue& out,
                             void* parent);

}  // namespace mailsift::mapi_provider
