#include "core/quarantine/storable_kinds.h"

#include <array>

#include "core/util/text.h"

namespace pellora {

namespace {

constexpr std::array kKinds = {
    StorableKind{"path", StoredForm::File, true, true, kImageProgram},
    StorableKind{"file", StoredForm::File, true, true, kImageFile},
    // A file found by what it holds: stored and restored as any found file.
    StorableKind{"content", StoredForm::File, true, true, kImageFile},
    StorableKind{"cookie", StoredForm::File, true, true, kImageCookie},
    StorableKind{"folder", StoredForm::Folder, true, true, kImageFolder},
    StorableKind{"regkey", StoredForm::Key, true, true, kImageRegKey},
    StorableKind{"regval", StoredForm::Value, true, true, kImageRegVal},
    StorableKind{"regpart", StoredForm::ListPart, true, false, kImageRegVal},
    // Kept as a definition, the hosts file's lines or a link's bytes: shown as files.
    StorableKind{"task", StoredForm::Task, true, true, kImageFile},
    StorableKind{"hosts", StoredForm::HostsLines, true, true, kImageFile},
    StorableKind{"shortcut", StoredForm::Shortcut, true, true, kImageFile},
    // Kept as its configuration and its keys' values.
    StorableKind{"service", StoredForm::Service, true, true, kImageRegKey},
    StorableKind{"extension", StoredForm::BrowserPlace, true, false, kImageFile},
    StorableKind{"hijack", StoredForm::BrowserPlace, true, false, kImageFile},
    StorableKind{"browseredit", StoredForm::BrowserEdit, false, true, kImageFile},
};

const StorableKind* Find(std::string_view type, bool row) {
    const std::string lower = ToLowerAscii(type);
    for (const StorableKind& kind : kKinds) {
        if (kind.type == lower && (row ? kind.row : kind.record))
            return &kind;
    }
    return nullptr;
}

}  // namespace

std::span<const StorableKind> StorableKinds() {
    return kKinds;
}

const StorableKind* StorableRowKind(std::string_view type) {
    return Find(type, true);
}

const StorableKind* RestorableRecordKind(std::string_view type) {
    return Find(type, false);
}

}  // namespace pellora
