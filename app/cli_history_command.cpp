#include <cstdint>
#include <optional>
#include <string>

#include "app/cli_commands.h"
#include "export/folder_tree.h"
#include "export/history_database.h"
#include "platform/thousands.h"

namespace mailsift {

namespace {

constexpr const char* kUsage = "usage: mailsift-cli history [delete ID --yes]\n";

char Flag(bool value) {
    return value ? '1' : '0';
}

int PrintHistory(std::ostream& out) {
    for (const HistoryRow& row : ReadHistoryRows()) {
        out << row.Id << '\t' << row.DateText << '\t' << row.OutlookClient << '\t'
            << Flag(row.OnlyAttach) << '\t' << Flag(row.Zip) << '\t' << row.CountText << '\t'
            << row.TotalSizeText << '\t' << row.RootFolder << '\t' << Flag(row.FolderExists)
            << '\n';
    }
    return 0;
}

// Without --yes nothing is touched: the user learns what the command would remove.
int DescribeDeletion(const HistoryRow& row, std::ostream& err) {
    err << "mailsift-cli: history row " << row.Id << " (" << row.DateText << ", "
        << row.OutlookClient << ") would be deleted";
    const std::string refusal = FolderDeletionRefusal(row.RootFolder);
    if (refusal.empty()) {
        err << " together with the folder " << row.RootFolder << " and everything in it";
    } else {
        err << "; " << refusal;
    }
    err << ".\nAdd --yes to delete it.\n";
    return 2;
}

int DeleteRow(int64_t id, bool confirmed, std::ostream& out, std::ostream& err) {
    const std::optional<HistoryRow> row = FindHistoryRow(id);
    if (!row) {
        err << "mailsift-cli: there is no history row with ID " << id << '\n';
        return 1;
    }
    if (!confirmed) return DescribeDeletion(*row, err);
    const HistoryDeletion deletion = DeleteHistoryRow(id);
    if (!deletion.Found) {
        err << "mailsift-cli: history row " << id << " was deleted meanwhile\n";
        return 1;
    }
    out << "deleted history row " << id << '\n';
    if (!deletion.Refusal.empty()) {
        err << "mailsift-cli: " << deletion.Refusal << '\n';
    } else if (deletion.EntriesLeft > 0) {
        err << "mailsift-cli: " << deletion.EntriesLeft << " entries of " << deletion.RootFolder
            << " could not be deleted\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return PrintHistory(out);
    if (args[0] != "delete" || args.size() < 2 || args.size() > 3) {
        err << kUsage;
        return 2;
    }
    bool confirmed = false;
    std::optional<int64_t> id;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--yes" && !confirmed) {
            confirmed = true;
        } else if (!id) {
            id = ParseSignedDecimal(args[i]);
            if (!id || *id <= 0) {
                err << "mailsift-cli: '" << args[i]
                    << "' is no history ID (a whole number above 0)\n";
                return 2;
            }
        } else {
            err << kUsage;
            return 2;
        }
    }
    if (!id) {
        err << kUsage;
        return 2;
    }
    return DeleteRow(*id, confirmed, out, err);
}

}  // namespace mailsift
