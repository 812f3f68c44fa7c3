/*
 * Mailsift's store operations for other programs (libmailsift.so).
 *
 * Open a mail store (an Outlook Express folder file, a Thunderbird or Eudora mailbox file or
 * mail folder, a personal folder file), list its folders, read and save its messages by folder
 * and index, and close it. Every text is UTF-8 and NUL-terminated. Date-times are days since
 * 1899-12-30 00:00 local time, the fraction being the time of day.
 *
 * Initialisation: the first call fixes the library's program folder (report log "report.txt",
 * configuration and language texts under "Config/") as the program does: the folder named by
 * the environment variable MAILSIFT_HOME, else the folder of libmailsift.so itself when it is
 * writable, else $XDG_DATA_HOME/mailsift (~/.local/share/mailsift). A call that cannot set it
 * up returns MAILSIFT_INTERNAL_ERROR and the next call tries again.
 *
 * Threads: calls may come from any thread; the library runs one call at a time.
 *
 * Ownership:
 * - OpenMessageStorageP creates the folder list. It belongs to the caller, who releases it with
 *   FreeFolderList, before or after closing the store. Its texts stay readable until then; its
 *   folders can be passed to the message operations only while the store is open.
 * - A TMessage belongs to the caller. Each message operation overwrites every field without
 *   looking at what was there, so release a filled record with FreeMessage before passing it
 *   again. FreeMessage releases the texts and the attachment list and zeroes the record.
 * - Never release anything the library hands out with free().
 */
#ifndef MAILSIFT_MAILSIFT_H
#define MAILSIFT_MAILSIFT_H

#include <stdint.h>

#if defined(__GNUC__)
#define MAILSIFT_API __attribute__((visibility("default")))
#else
#define MAILSIFT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A store handle is above MAILSIFT_MAX_RESULT_CODE; an open that returns a value at or below it
 * returns one of the result codes. */
#define MAILSIFT_MAX_RESULT_CODE 3840u

enum {
    MAILSIFT_SUCCESS = 0,
    /* The file does not exist, is no store, or no mailbox was found. */
    MAILSIFT_NOTHING_FOUND = 1,
    /* The path is neither a file nor a directory. */
    MAILSIFT_NO_SUCH_PATH = 2,
    /* Personal folder files: the MAPI library is missing, did not open or did not close it. */
    MAILSIFT_MAPI_UNAVAILABLE = 3,
    MAILSIFT_MAPI_OPEN_FAILED = 4,
    MAILSIFT_MAPI_CLOSE_FAILED = 5,
    /* Opened, but no folder could be listed. */
    MAILSIFT_NO_FOLDERS = 6,
    /* A store of the same kind is already open; close it first. */
    MAILSIFT_ALREADY_OPEN = 7,
    /* No open store has this handle. */
    MAILSIFT_NOT_MY_HANDLE = 8,
    /* The folder's file is missing, or the folder pointer is not one of the list that the
     * open of this handle returned (a copy of a record does not count) or its store is
     * closed. */
    MAILSIFT_FOLDER_MISSING = 9,
    /* The message index is outside the folder, or the message holds no data. */
    MAILSIFT_BAD_MESSAGE_INDEX = 10,
    /* The handle is not above MAILSIFT_MAX_RESULT_CODE. */
    MAILSIFT_BAD_HANDLE = 11,
    /* Attachments asked for, but the message has none or its text is unreadable. */
    MAILSIFT_NO_ATTACHMENTS = 13,
    /* The message could not be written. */
    MAILSIFT_WRITE_FAILED = 14,
    /* The library failed inside (a file that could not be written, a damaged store, no
     * memory, no program folder); the report log names the reason. */
    MAILSIFT_INTERNAL_ERROR = 15,
    /* A pointer argument that must be given was NULL. */
    MAILSIFT_INVALID_ARGUMENT = 16
};

/* One folder of an open store. */
typedef struct TFolder {
    const char* Name;
    const char* Path;      /* the names from the top of the store down, joined by "/" */
    const char* StoreFile; /* the file holding the folder's messages */
    const char* Comment;
    int32_t Id;
    int32_t ParentId;
    int32_t MessageCount; /* messages are addressed by index 0 .. MessageCount - 1 */
    int64_t Size;         /* size of the folder's file in bytes, 0 when not known */
} TFolder;

typedef struct TFolderList {
    uint32_t Count;
    const TFolder* Folders; /* pass &Folders[i] to the message operations */
} TFolderList;

typedef struct TAttachFile {
    char* FileName;
    uint16_t Index; /* the attachment index SaveAttachToFile takes */
    int64_t Size;   /* bytes written when saved, where the store kind tells; else 0 */
} TAttachFile;

typedef struct TAttachFileList {
    uint32_t Count;
    TAttachFile* Items; /* NULL when Count is 0 */
} TAttachFileList;

/* Every text is set (possibly empty) after a call that returns a store's result code, also a
 * failing one; after MAILSIFT_INTERNAL_ERROR or MAILSIFT_INVALID_ARGUMENT the record is
 * zeroed. */
typedef struct TMessage {
    char* MessageId;
    char* Headers; /* the raw header block; only from GetMessageBody */
    uint64_t HeadersLength;
    char* FromName;
    char* FromAddress;
    char* Subject;
    double Created;
    double Received;
    char* ToName;
    char* ToAddress;
    int32_t Size; /* message size in bytes */
    char* Body;   /* only from GetMessageBody; may hold NUL bytes, hence its length */
    uint64_t BodyLength;
    int32_t Tag0BPresent;
    int32_t HasAttachments;
    /* Set when GetMessageAttachFilesList had the store list the attachments (the list may be
     * empty); NULL otherwise. */
    TAttachFileList* Attachments;
} TMessage;

/* A store handle, or a result code (at most MAILSIFT_MAX_RESULT_CODE). With a handle,
 * *folders receives a new list of the store's folders; otherwise it is set to NULL. Close every
 * handle with CloseMessageStore. */
MAILSIFT_API uint32_t OpenMessageStorageP(const char* path, TFolderList** folders);

/* The message operations fill *message (see TMessage) and return a result code. folder must
 * point into the list that the open of handle returned. */
MAILSIFT_API int32_t GetMessageHeaders(uint32_t handle, const TFolder* folder, int32_t index,
                                       TMessage* message);
MAILSIFT_API int32_t GetMessageBody(uint32_t handle, const TFolder* folder, int32_t index,
                                    TMessage* message);
MAILSIFT_API int32_t GetMessageAttachFilesList(uint32_t handle, const TFolder* folder,
                                               int32_t index, TMessage* message);

/* The save operations write targetFile (replacing it) and return a result code. */
MAILSIFT_API int32_t SaveAttachToFile(uint32_t handle, const TFolder* folder, int32_t index,
                                      uint16_t attachmentIndex, const char* targetFile);
/* The message as the store holds it; for personal folder files saveAsEml (non-zero) asks for
 * MIME text rather than a .msg file. */
MAILSIFT_API int32_t SaveMessageToFile(uint32_t handle, const TFolder* folder, int32_t index,
                                       const char* targetFile, int32_t saveAsEml);
/* A plain-text summary and an HTML page of the message's header fields and body. */
MAILSIFT_API int32_t SaveMessageToTextFile(uint32_t handle, const TFolder* folder, int32_t index,
                                           const char* targetFile);
MAILSIFT_API int32_t SaveMessageToHTMLFile(uint32_t handle, const TFolder* folder, int32_t index,
                                           const char* targetFile);

/* MAILSIFT_SUCCESS, or MAILSIFT_NOT_MY_HANDLE when no open store has the handle. */
MAILSIFT_API int32_t CloseMessageStore(uint32_t handle);

/* Release what the library allocated. FreeFolderList ignores NULL and any pointer that is
 * not a list the library holds; FreeMessage ignores NULL and may be called again on a record
 * it has zeroed. */
MAILSIFT_API void FreeFolderList(TFolderList* folders);
MAILSIFT_API void FreeMessage(TMessage* message);

/* The function types, for programs that look the operations up with dlsym. */
typedef uint32_t (*OpenMessageStoragePFunc)(const char*, TFolderList**);
typedef int32_t (*GetMessageFunc)(uint32_t, const TFolder*, int32_t, TMessage*);
typedef int32_t (*SaveAttachToFileFunc)(uint32_t, const TFolder*, int32_t, uint16_t, const char*);
typedef int32_t (*SaveMessageToFileFunc)(uint32_t, const TFolder*, int32_t, const char*, int32_t);
typedef int32_t (*SaveMessageAsFunc)(uint32_t, const TFolder*, int32_t, const char*);
typedef int32_t (*CloseMessageStoreFunc)(uint32_t);
typedef void (*FreeFolderListFunc)(TFolderList*);
typedef void (*FreeMessageFunc)(TMessage*);

#ifdef __cplusplus
}
#endif

#endif /* MAILSIFT_MAILSIFT_H */
