/* Uses libmailsift.so the way another program would: loads it by path, looks every operation
 * up by name, and reads and saves the messages of a mailbox it wrote itself. Exits non-zero,
 * naming the failed check, on any failure. Usage: c_api_test LIBRARY */
#define _XOPEN_SOURCE 700

#include <dlfcn.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mailsift/mailsift.h"

static int failures = 0;

static void Fail(int line, const char* what) {
    fprintf(stderr, "c_api_test.c:%d: check failed: %s\n", line, what);
    ++failures;
}

/* EXPECT goes on after a failure; REQUIRE ends the run, as what follows depends on it. */
#define EXPECT(condition)                             \
    do {                                              \
        if (!(condition)) Fail(__LINE__, #condition); \
    } while (0)
#define REQUIRE(condition)              \
    do {                                \
        if (!(condition)) {             \
            Fail(__LINE__, #condition); \
            return;                     \
        }                               \
    } while (0)

struct Api {
    OpenMessageStoragePFunc OpenMessageStorageP;
    GetMessageFunc GetMessageHeaders;
    GetMessageFunc GetMessageBody;
    GetMessageFunc GetMessageAttachFilesList;
    SaveAttachToFileFunc SaveAttachToFile;
    SaveMessageToFileFunc SaveMessageToFile;
    SaveMessageAsFunc SaveMessageToTextFile;
    SaveMessageAsFunc SaveMessageToHTMLFile;
    CloseMessageStoreFunc CloseMessageStore;
    FreeFolderListFunc FreeFolderList;
    FreeMessageFunc FreeMessage;
};

/* dlsym returns an object pointer; POSIX guarantees it converts to a function pointer. */
#define LOOK_UP(library, api, name)                                                    \
    do {                                                                               \
        void* symbol = dlsym(library, #name);                                          \
        if (symbol == NULL) {                                                          \
            fprintf(stderr, "c_api_test: %s is not exported: %s\n", #name, dlerror()); \
            return 0;                                                                  \
        }                                                                              \
        memcpy(&(api)->name, &symbol, sizeof symbol);                                  \
    } while (0)

static int LookUp(void* library, struct Api* api) {
    LOOK_UP(library, api, OpenMessageStorageP);
    LOOK_UP(library, api, GetMessageHeaders);
    LOOK_UP(library, api, GetMessageBody);
    LOOK_UP(library, api, GetMessageAttachFilesList);
    LOOK_UP(library, api, SaveAttachToFile);
    LOOK_UP(library, api, SaveMessageToFile);
    LOOK_UP(library, api, SaveMessageToTextFile);
    LOOK_UP(library, api, SaveMessageToHTMLFile);
    LOOK_UP(library, api, CloseMessageStore);
    LOOK_UP(library, api, FreeFolderList);
    LOOK_UP(library, api, FreeMessage);
    return 1;
}

static const char kFirstMessage[] =
    "From ann@example.org Mon Jul  5 09:05:03 2004\n"
    "From: Ann Smith <ann@example.org>\n"
    "To: Bob <bob@example.org>\n"
    "Subject: Plans\n"
    "Date: Mon, 05 Jul 2004 09:05:03 +0000\n"
    "\n"
    "first line\n"
    "second line\n"
    "\n";
static const char kSecondMessage[] =
    "From bob@example.org Tue Jul  6 10:00:00 2004\n"
    "From: Bob <bob@example.org>\n"
    "To: Ann Smith <ann@example.org>\n"
    "Subject: Re: Plans\n"
    "Date: Tue, 06 Jul 2004 10:00:00 +0000\n"
    "\n"
    "agreed\n"
    "\n";
static int WriteText(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    if (file == NULL) return 0;
    const int written = fputs(text, file) >= 0;
    return fclose(file) == 0 && written;
}

/* The whole file as a NUL-terminated text, or NULL; free() it. */
static char* ReadText(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    char* text = NULL;
    long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    if (size >= 0 && fseek(file, 0, SEEK_SET) == 0) text = malloc((size_t)size + 1);
    if (text != NULL && fread(text, 1, (size_t)size, file) != (size_t)size) {
        free(text);
        text = NULL;
    }
    if (text != NULL) text[size] = '\0';
    fclose(file);
    return text;
}

static int FileHolds(const char* path, const char* expected) {
    char* text = ReadText(path);
    const int same = text != NULL && strcmp(text, expected) == 0;
    free(text);
    return same;
}

static int FileContains(const char* path, const char* part) {
    char* text = ReadText(path);
    const int found = text != NULL && strstr(text, part) != NULL;
    free(text);
    return found;
}

static int IsEmptyText(const char* text) {
    return text != NULL && text[0] == '\0';
}

static void Join(char* buffer, size_t size, const char* folder, const char* name) {
    snprintf(buffer, size, "%s/%s", folder, name);
}

static void ReadMessages(const struct Api* api, uint32_t handle, const TFolder* inbox) {
    TMessage message;
    memset(&message, 0, sizeof message);

    EXPECT(api->GetMessageHeaders(handle, inbox, 0, &message) == MAILSIFT_SUCCESS);
    EXPECT(message.FromName != NULL && strcmp(message.FromName, "Ann Smith") == 0);
    EXPECT(message.FromAddress != NULL && strcmp(message.FromAddress, "ann@example.org") == 0);
    EXPECT(message.Subject != NULL && strcmp(message.Subject, "Plans") == 0);
    EXPECT(message.ToAddress != NULL && strcmp(message.ToAddress, "bob@example.org") == 0);
    /* 5 July 2004 is day 38173; the time zone may move it by a few hours. */
    EXPECT(message.Received > 38172.5 && message.Received < 38174.0);
    EXPECT(message.Size == (int32_t)strlen(kFirstMessage));
    EXPECT(IsEmptyText(message.Body) && message.BodyLength == 0);
    EXPECT(message.Attachments == NULL);
    api->FreeMessage(&message);
    EXPECT(message.FromName == NULL && message.Subject == NULL);
    api->FreeMessage(&message);

    EXPECT(api->GetMessageBody(handle, inbox, 0, &message) == MAILSIFT_SUCCESS);
    EXPECT(message.Body != NULL && strstr(message.Body, "first line") != NULL);
    EXPECT(message.Body != NULL && message.BodyLength == strlen(message.Body));
    EXPECT(message.Headers != NULL && strstr(message.Headers, "Subject: Plans") != NULL);
    api->FreeMessage(&message);

    EXPECT(api->GetMessageAttachFilesList(handle, inbox, 0, &message) == MAILSIFT_SUCCESS);
    EXPECT(message.HasAttachments == 0);
    EXPECT(message.Attachments != NULL && message.Attachments->Count == 0);
    api->FreeMessage(&message);

    /* A failing read still leaves every text set. */
    EXPECT(api->GetMessageHeaders(handle, inbox, 2, &message) == MAILSIFT_BAD_MESSAGE_INDEX);
    EXPECT(IsEmptyText(message.FromName) && IsEmptyText(message.Subject));
    api->FreeMessage(&message);
}

/* Folder pointers the library did not hand out, and bad handles, give codes, not crashes. */
static void RefuseForeignArguments(const struct Api* api, uint32_t handle, const TFolder* inbox) {
    TMessage message;
    memset(&message, 0, sizeof message);
    TFolder copy = *inbox;
    EXPECT(api->GetMessageHeaders(handle, &copy, 0, &message) == MAILSIFT_FOLDER_MISSING);
    api->FreeMessage(&message);
    EXPECT(api->GetMessageHeaders(handle, NULL, 0, &message) == MAILSIFT_FOLDER_MISSING);
    api->FreeMessage(&message);
    EXPECT(api->GetMessageHeaders(handle, (const TFolder*)((const char*)inbox + 1), 0, &message) ==
           MAILSIFT_FOLDER_MISSING);
    api->FreeMessage(&message);
    EXPECT(api->GetMessageHeaders(MAILSIFT_MAX_RESULT_CODE, inbox, 0, &message) ==
           MAILSIFT_BAD_HANDLE);
    api->FreeMessage(&message);
    EXPECT(api->GetMessageHeaders(handle, inbox, 0, NULL) == MAILSIFT_INVALID_ARGUMENT);
    EXPECT(api->SaveMessageToFile(handle, inbox, 0, NULL, 1) == MAILSIFT_INVALID_ARGUMENT);
    EXPECT(api->SaveMessageToTextFile(handle + 1, inbox, 0, "/nonexistent/x") ==
           MAILSIFT_FOLDER_MISSING);
}

static void SaveMessages(const struct Api* api, uint32_t handle, const TFolder* inbox,
                         const char* outFolder) {
    char path[4096];

    Join(path, sizeof path, outFolder, "first.eml");
    EXPECT(api->SaveMessageToFile(handle, inbox, 0, path, 1) == MAILSIFT_SUCCESS);
    EXPECT(FileHolds(path, kFirstMessage));
    Join(path, sizeof path, outFolder, "second.eml");
    EXPECT(api->SaveMessageToFile(handle, inbox, 1, path, 1) == MAILSIFT_SUCCESS);
    EXPECT(FileHolds(path, kSecondMessage));

    Join(path, sizeof path, outFolder, "second.txt");
    EXPECT(api->SaveMessageToTextFile(handle, inbox, 1, path) == MAILSIFT_SUCCESS);
    EXPECT(FileContains(path, "From:\tBob <bob@example.org>\r\n"));
    EXPECT(FileContains(path, "Subject:\tRe: Plans\r\n"));
    EXPECT(FileContains(path, "agreed"));

    /* A target the file system refuses throws inside; the caller gets a code. */
    Join(path, sizeof path, outFolder, "missing/folder/x.txt");
    EXPECT(api->SaveMessageToTextFile(handle, inbox, 1, path) == MAILSIFT_INTERNAL_ERROR);
}

static void Run(const char* libraryPath, const char* workFolder) {
    char home[4096], store[4096], mailbox[4096], out[4096], report[4096];
    Join(home, sizeof home, workFolder, "home");
    Join(store, sizeof store, workFolder, "store");
    Join(mailbox, sizeof mailbox, store, "Inbox");
    Join(out, sizeof out, workFolder, "out");
    Join(report, sizeof report, home, "report.txt");
    REQUIRE(mkdir(store, 0700) == 0 && mkdir(out, 0700) == 0);
    /* The library fixes its program folder on the first call, from this variable. */
    REQUIRE(setenv("MAILSIFT_HOME", home, 1) == 0);

    char text[sizeof kFirstMessage + sizeof kSecondMessage];
    strcpy(text, kFirstMessage);
    strcat(text, kSecondMessage);
    REQUIRE(WriteText(mailbox, text));

    void* library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) fprintf(stderr, "c_api_test: %s\n", dlerror());
    REQUIRE(library != NULL);
    struct Api api;
    if (!LookUp(library, &api)) {
        ++failures;
        dlclose(library);
        return;
    }

    TFolderList* folders = (TFolderList*)1;
    EXPECT(api.OpenMessageStorageP(out, &folders) == MAILSIFT_NOTHING_FOUND && folders == NULL);
    EXPECT(api.OpenMessageStorageP(NULL, &folders) == MAILSIFT_INVALID_ARGUMENT);

    const uint32_t handle = api.OpenMessageStorageP(store, &folders);
    EXPECT(handle > MAILSIFT_MAX_RESULT_CODE);
    if (handle > MAILSIFT_MAX_RESULT_CODE && folders != NULL) {
        EXPECT(folders->Count == 1);
        const TFolder* inbox = &folders->Folders[0];
        EXPECT(strcmp(inbox->Name, "Inbox") == 0);
        EXPECT(strcmp(inbox->StoreFile, mailbox) == 0);
        EXPECT(inbox->MessageCount == 2);
        ReadMessages(&api, handle, inbox);
        RefuseForeignArguments(&api, handle, inbox);
        SaveMessages(&api, handle, inbox, out);

        EXPECT(api.CloseMessageStore(handle) == MAILSIFT_SUCCESS);
        EXPECT(api.CloseMessageStore(handle) == MAILSIFT_NOT_MY_HANDLE);
        /* The list outlives its store: readable, but no longer usable. */
        EXPECT(strcmp(inbox->Name, "Inbox") == 0);
        EXPECT(api.SaveMessageToFile(handle, inbox, 0, report, 1) == MAILSIFT_FOLDER_MISSING);
        api.FreeFolderList(folders);
        api.FreeFolderList(folders);
    }
    api.FreeFolderList(NULL);

    /* The report log, with the reason for the refused target, went to the program folder the
     * environment named. */
    EXPECT(FileContains(report, "Store API exception: "));
    EXPECT(dlclose(library) == 0);
}

static int RemoveEntry(const char* path, const struct stat* info, int type, struct FTW* walk) {
    (void)info;
    (void)type;
    (void)walk;
    return remove(path);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: c_api_test LIBRARY\n");
        return 2;
    }
    const char* temp = getenv("TMPDIR");
    char workFolder[4096];
    snprintf(workFolder, sizeof workFolder, "%s/mailsift-c-api-XXXXXX",
             temp != NULL && temp[0] != '\0' ? temp : "/tmp");
    if (mkdtemp(workFolder) == NULL) {
        perror("c_api_test: mkdtemp");
        return 1;
    }
    Run(argv[1], workFolder);
    nftw(workFolder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (failures != 0) {
        fprintf(stderr, "c_api_test: %d check(s) failed\n", failures);
        return 1;
    }
    printf("c_api_test: all checks passed\n");
    return 0;
}
