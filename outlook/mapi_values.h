#pragma once
// Reading single properties and whole tables through the loaded MAPI library, with the
// buffers it hands out given back to it.
#include <cstdint>
#include <string>
#include <vector>

#include "mapi/mapi_interfaces.h"
#include "platform/date_time.h"

namespace mailsift {

// Rows from HrQueryAllRows or QueryRows, freed with FreeProws.
class MapiRows {
  public:
    MapiRows() = default;
    MapiRows(const MapiRows&) = delete;
    MapiRows& operator=(const MapiRows&) = delete;
    ~MapiRows() { reset(); }
    void reset();
    mapi::LPSRowSet* out() {
        reset();
        return &rows_;
    }
    mapi::ULONG size() const { return rows_ != nullptr ? rows_->cRows : 0; }
    // The cell, or nullptr when the row has fewer columns.
    const mapi::SPropValue* cell(mapi::ULONG index, mapi::ULONG column) const;

  private:
    mapi::LPSRowSet rows_ = nullptr;
};

// Every row of the table over the given columns (all set columns when there are none).
mapi::HRESULT QueryAllRows(mapi::IMAPITable* table, const std::vector<mapi::ULONG>& columns,
                           MapiRows& rows);

// A cell's text when it holds the wide string of `tag`, else "".
std::string CellText(const mapi::SPropValue* cell, mapi::ULONG tag);
// A cell's bytes when it holds the binary value of `tag`, else none.
std::vector<mapi::BYTE> CellBytes(const mapi::SPropValue* cell, mapi::ULONG tag);

// One property read alone with HrGetOneProp: a wide string as UTF-8 ("" when missing), a time
// as local time, a 32-bit number, bytes.
std::string ReadTextProperty(mapi::IMAPIProp* object, mapi::ULONG tag);
bool ReadTimeProperty(mapi::IMAPIProp* object, mapi::ULONG tag, TDateTime& value);
int32_t ReadLongProperty(mapi::IMAPIProp* object, mapi::ULONG tag);
std::vector<mapi::BYTE> ReadBinaryProperty(mapi::IMAPIProp* object, mapi::ULONG tag);

}  // namespace mailsift
