#include "core/scan/file_pattern_index.h"

#include <algorithm>

namespace pellora {

uint32_t FilePatternIndex::Add(std::string_view pattern) {
    uint32_t id = static_cast<uint32_t>(patterns_.size());
    size_t dot = pattern.rfind('.');
    std::string_view ext = dot == std::string_view::npos ? pattern : pattern.substr(dot + 1);
    std::string_view base = dot == std::string_view::npos ? std::string_view() : pattern.substr(0, dot);
    bool baseStar = base.find('*') != std::string_view::npos;
    bool extStar = ext.find('*') != std::string_view::npos;

    Pattern p;
    if (!extStar) {
        if (baseStar) {
            p.rule = Rule::Ext;
            byExt_[std::string(ext)].push_back(id);
        } else {
            p.rule = Rule::Name;
            std::string name(base);
            name.append(".").append(ext);
            byName_[name].push_back(id);
        }
    } else if (ext == "*") {
        p.rule = baseStar ? Rule::Never : Rule::Base;
        if (!baseStar)
            byBase_[std::string(base)].push_back(id);
    } else {
        bool suffix = ext.front() == '*';
        p.affix = suffix ? std::string(ext.substr(1)) : std::string(ext.substr(0, ext.size() - 1));
        if (baseStar) {
            p.rule = suffix ? Rule::ExtSuffix : Rule::ExtPrefix;
            (suffix ? bySuffix_ : byPrefix_)[p.affix].push_back(id);
            longestAffix_ = std::max(longestAffix_, p.affix.size());
        } else {
            p.rule = suffix ? Rule::BaseExtSuffix : Rule::BaseExtPrefix;
            byBase_[std::string(base)].push_back(id);
        }
    }
    patterns_.push_back(std::move(p));
    extensions_.clear();
    return id;
}

const std::vector<uint32_t>& FilePatternIndex::ExtensionPatterns(std::string_view ext) {
    if (const auto* known = FindIn(extensions_, ext))
        return *known;
    std::vector<uint32_t> ids;
    if (const auto* exact = FindIn(byExt_, ext))
        ids = *exact;
    for (size_t length = 1; length <= std::min(ext.size(), longestAffix_); ++length) {
        if (!bySuffix_.empty()) {
            if (const auto* suffixed = FindIn(bySuffix_, ext.substr(ext.size() - length))) {
                ids.insert(ids.end(), suffixed->begin(), suffixed->end());
            }
        }
        if (!byPrefix_.empty()) {
            if (const auto* prefixed = FindIn(byPrefix_, ext.substr(0, length))) {
                ids.insert(ids.end(), prefixed->begin(), prefixed->end());
            }
        }
    }
    if (extensions_.size() >= kCachedExtensions) {
        uncached_ = std::move(ids);
        return uncached_;
    }
    return extensions_.emplace(std::string(ext), std::move(ids)).first->second;
}

}  // namespace pellora
