#include "core/quarantine/quarantine_store.h"

#include "core/protection/folder_access.h"
#include "core/quarantine/copy_folder.h"
#include "core/settings/line_text.h"
#include "core/util/text.h"

namespace pellora {

std::string QuarantineStore::TempExportFile() const {
    // A key's export may hold what only administrators may read, and a name in a folder that
    // others may write could be taken or linked elsewhere before the registry editor writes it.
    std::optional<std::string> folder = RegistryExportsFolder(files_, state_.appFolder);
    return folder ? *folder + "\\Temp.reg" : "";
}

bool QuarantineStore::EnsureCurrentPackage() {
    if (state_.scanStamp.empty())
        return false;
    std::string folder = CurrentPackageFolder();
    if (IsFolder(files_, folder))
        return true;
    files_.CreateDirectory(RootFolder());
    return files_.CreateDirectory(folder) || IsFolder(files_, folder);
}

std::optional<int16_t> QuarantineStore::AllocateNumber() {
    std::string package = CurrentPackageFolder() + "\\";
    int number = state_.quarantineCounter;
    // A folder copy lives in a folder named by its number; such a folder left without its
    // record must not receive a second copy either.
    while (files_.GetAttributes(package + std::to_string(number) + ".qnf") ||
           files_.GetAttributes(package + std::to_string(number))) {
        if (number >= INT16_MAX)
            return std::nullopt;
        ++number;
    }
    state_.quarantineCounter = static_cast<int16_t>(number);
    return state_.quarantineCounter;
}

bool QuarantineStore::SaveLineToFile(const std::string& fileName, const std::string& data) {
    std::string path = CurrentPackageFolder() + "\\" + fileName;
    files_.SetAttributes(path, file_attr::kNormal);
    return files_.WriteFileAtomic(path, EncodeLineFile(system_, data));
}

bool QuarantineStore::LoadLineFromFile(const std::string& path, std::string& data, uint64_t maxLength) {
    std::optional<std::string> bytes = files_.ReadFileUpTo(RootFolder() + "\\" + path, maxLength);
    ui_.Yield();
    if (!bytes)
        return false;
    data = DecodeLineFile(system_, *bytes);
    ui_.Yield();
    return true;
}

}  // namespace pellora
