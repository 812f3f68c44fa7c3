#pragma once
// Property types, the tag helpers and the property tags the program uses, from Microsoft's
// published MAPI and [MS-OXPROPS] documentation.
#include "mapi/mapi_types.h"

namespace mapi {

inline constexpr ULONG PT_UNSPECIFIED = 0x0000;
inline constexpr ULONG PT_NULL = 0x0001;
inline constexpr ULONG PT_I2 = 0x0002;
inline constexpr ULONG PT_LONG = 0x0003;
inline constexpr ULONG PT_R4 = 0x0004;
inline constexpr ULONG PT_DOUBLE = 0x0005;
inline constexpr ULONG PT_CURRENCY = 0x0006;
inline constexpr ULONG PT_APPTIME = 0x0007;
inline constexpr ULONG PT_ERROR = 0x000A;
inline constexpr ULONG PT_BOOLEAN = 0x000B;
inline constexpr ULONG PT_OBJECT = 0x000D;
inline constexpr ULONG PT_I8 = 0x0014;
inline constexpr ULONG PT_STRING8 = 0x001E;
inline constexpr ULONG PT_UNICODE = 0x001F;
inline constexpr ULONG PT_SYSTIME = 0x0040;
inline constexpr ULONG PT_CLSID = 0x0048;
inline constexpr ULONG PT_BINARY = 0x0102;
inline constexpr ULONG MV_FLAG = 0x1000;
inline constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
inline constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
inline constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
inline constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
inline constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
inline constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
inline constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;
inline constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
inline constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
inline constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
inline constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
inline constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;

constexpr ULONG PROP_TYPE(ULONG tag) {
    return tag & 0xFFFFu;
}
constexpr ULONG PROP_ID(ULONG tag) {
    return tag >> 16;
}
constexpr ULONG PROP_TAG(ULONG type, ULONG id) {
    return (id << 16) | type;
}
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) {
    return (tag & 0xFFFF0000u) | type;
}

// Identifiers from here on name properties by string, not by number.
inline constexpr ULONG MIN_NAMED_PROP_ID = 0x8000;

// Store, service and folder properties.
inline constexpr ULONG PR_ENTRYID = PROP_TAG(PT_BINARY, 0x0FFF);
inline constexpr ULONG PR_OBJECT_TYPE = PROP_TAG(PT_LONG, 0x0FFE);
inline constexpr ULONG PR_RECORD_KEY = PROP_TAG(PT_BINARY, 0x0FF9);
inline constexpr ULONG PR_ACCESS = PROP_TAG(PT_LONG, 0x0FF4);
inline constexpr ULONG PR_DISPLAY_NAME_A = PROP_TAG(PT_STRING8, 0x3001);
inline constexpr ULONG PR_DISPLAY_NAME_W = PROP_TAG(PT_UNICODE, 0x3001);
inline constexpr ULONG PR_COMMENT_W = PROP_TAG(PT_UNICODE, 0x3004);
inline constexpr ULONG PR_SERVICE_UID = PROP_TAG(PT_BINARY, 0x3D0C);
inline constexpr ULONG PR_SERVICE_NAME_A = PROP_TAG(PT_STRING8, 0x3D09);
inline constexpr ULONG PR_PST_PATH_A = PROP_TAG(PT_STRING8, 0x6700);
inline constexpr ULONG PR_CONTAINER_HIERARCHY = PROP_TAG(PT_OBJECT, 0x360E);
inline constexpr ULONG PR_CONTAINER_CONTENTS = PROP_TAG(PT_OBJECT, 0x360F);
inline constexpr ULONG PR_CONTENT_COUNT = PROP_TAG(PT_LONG, 0x3602);
inline constexpr ULONG PR_SUBFOLDERS = PROP_TAG(PT_BOOLEAN, 0x360A);

// Message properties.
inline constexpr ULONG PR_MESSAGE_CLASS_W = PROP_TAG(PT_UNICODE, 0x001A);
inline constexpr ULONG PR_CONTENT_IDENTIFIER_W = PROP_TAG(PT_UNICODE, 0x0008);
inline constexpr ULONG PR_TRANSPORT_MESSAGE_HEADERS_W = PROP_TAG(PT_UNICODE, 0x007D);
inline constexpr ULONG PR_SENDER_NAME_W = PROP_TAG(PT_UNICODE, 0x0C1A);
inline constexpr ULONG PR_SENDER_EMAIL_ADDRESS_W = PROP_TAG(PT_UNICODE, 0x0C1F);
inline constexpr ULONG PR_SUBJECT_W = PROP_TAG(PT_UNICODE, 0x0037);
inline constexpr ULONG PR_CLIENT_SUBMIT_TIME = PROP_TAG(PT_SYSTIME, 0x0039);
inline constexpr ULONG PR_CREATION_TIME = PROP_TAG(PT_SYSTIME, 0x3007);
inline constexpr ULONG PR_DISPLAY_TO_W = PROP_TAG(PT_UNICODE, 0x0E04);
inline constexpr ULONG PR_MESSAGE_SIZE = PROP_TAG(PT_LONG, 0x0E08);
inline constexpr ULONG PR_HASATTACH = PROP_TAG(PT_BOOLEAN, 0x0E1B);
inline constexpr ULONG PR_BODY_W = PROP_TAG(PT_UNICODE, 0x1000);
inline constexpr ULONG PR_HTML = PROP_TAG(PT_BINARY, 0x1013);
inline constexpr ULONG PR_INTERNET_CPID = PROP_TAG(PT_LONG, 0x3FDE);
inline constexpr ULONG PR_RTF_SYNC_BODY_CRC = PROP_TAG(PT_LONG, 0x1006);
inline constexpr ULONG PR_RTF_SYNC_BODY_COUNT = PROP_TAG(PT_LONG, 0x1007);
inline constexpr ULONG PR_RTF_SYNC_BODY_TAG_A = PROP_TAG(PT_STRING8, 0x1008);
inline constexpr ULONG PR_RTF_SYNC_PREFIX_COUNT = PROP_TAG(PT_LONG, 0x1010);
inline constexpr ULONG PR_RTF_SYNC_TRAILING_COUNT = PROP_TAG(PT_LONG, 0x1011);
inline constexpr ULONG PR_MESSAGE_RECIPIENTS = PROP_TAG(PT_OBJECT, 0x0E12);
inline constexpr ULONG PR_MESSAGE_ATTACHMENTS = PROP_TAG(PT_OBJECT, 0x0E13);

// Recipient properties.
inline constexpr ULONG PR_RECIPIENT_TYPE = PROP_TAG(PT_LONG, 0x0C15);
inline constexpr ULONG PR_ROWID = PROP_TAG(PT_LONG, 0x3000);
inline constexpr ULONG PR_ADDRTYPE_W = PROP_TAG(PT_UNICODE, 0x3002);
inline constexpr ULONG PR_EMAIL_ADDRESS_W = PROP_TAG(PT_UNICODE, 0x3003);
inline constexpr ULONG PR_SMTP_ADDRESS_W = PROP_TAG(PT_UNICODE, 0x39FE);
inline constexpr LONG MAPI_TO = 1;
inline constexpr LONG MAPI_CC = 2;
inline constexpr LONG MAPI_BCC = 3;

// Attachment properties.
inline constexpr ULONG PR_ATTACH_NUM = PROP_TAG(PT_LONG, 0x0E21);
inline constexpr ULONG PR_ATTACH_SIZE = PROP_TAG(PT_LONG, 0x0E20);
inline constexpr ULONG PR_ATTACH_DATA_BIN = PROP_TAG(PT_BINARY, 0x3701);
inline constexpr ULONG PR_ATTACH_DATA_OBJ = PROP_TAG(PT_OBJECT, 0x3701);
inline constexpr ULONG PR_ATTACH_FILENAME_W = PROP_TAG(PT_UNICODE, 0x3704);
inline constexpr ULONG PR_ATTACH_METHOD = PROP_TAG(PT_LONG, 0x3705);
inline constexpr ULONG PR_ATTACH_LONG_FILENAME_W = PROP_TAG(PT_UNICODE, 0x3707);

}  // namespace mapi
