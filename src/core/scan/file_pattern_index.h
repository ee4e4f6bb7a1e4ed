// The "file" items of a scan as an index: every pattern (a base, a dot and an extension, "*"
// allowed in either part) is filed under what a matching file name must have, so that one pass
// over the hard-disk listing finds the rows of all patterns at once. A listing row costs a few
// hash look-ups: its whole name, its base and its extension; the patterns that only constrain
// the extension are worked out once per distinct extension.
//
// The rules are those of FilePatternMatchesPath (reference_matching.h), case-sensitive:
//   no star            name equal (base and extension)
//   star in base only  extension equal
//   extension "*"      base equal (a star in the base too: never)
//   extension "*xyz"   extension ends with "xyz" (and base equal unless the base has a star)
//   extension "xy*"    extension starts with "xy" (likewise; a star inside counts as written)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/text_map.h"

namespace pellora {

class FilePatternIndex {
  public:
    // Files a pattern; returns its number (0, 1, ... in the order added).
    uint32_t Add(std::string_view pattern);
    size_t PatternCount() const { return patterns_.size(); }

    // Calls found(pattern number) for every pattern the file name at the end of `path` matches.
    template <typename Found>
    void Match(std::string_view path, Found&& found);

  private:
    enum class Rule { Name, Ext, Base, BaseExtSuffix, BaseExtPrefix, ExtSuffix, ExtPrefix, Never };
    struct Pattern {
        Rule rule = Rule::Never;
        std::string affix;  // the extension's fixed part for the suffix and prefix rules
    };

    // Patterns that constrain only the extension and match `ext`, computed on first sight. A
    // listing of endless distinct extensions (random names) must not grow the cache without end.
    static constexpr size_t kCachedExtensions = 1 << 16;
    const std::vector<uint32_t>& ExtensionPatterns(std::string_view ext);

    std::vector<Pattern> patterns_;
    TextMap<std::vector<uint32_t>> byName_;    // Rule::Name, by base "." extension
    TextMap<std::vector<uint32_t>> byBase_;    // Rule::Base, BaseExtSuffix, BaseExtPrefix
    TextMap<std::vector<uint32_t>> byExt_;     // Rule::Ext
    TextMap<std::vector<uint32_t>> bySuffix_;  // Rule::ExtSuffix, by affix
    TextMap<std::vector<uint32_t>> byPrefix_;  // Rule::ExtPrefix, by affix
    size_t longestAffix_ = 0;
    TextMap<std::vector<uint32_t>> extensions_;  // cache of ExtensionPatterns, up to kCachedExtensions
    std::vector<uint32_t> uncached_;
};

template <typename Found>
void FilePatternIndex::Match(std::string_view path, Found&& found) {
    size_t slash = path.rfind('\\');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return;
    std::string_view base = name.substr(0, dot);
    std::string_view ext = name.substr(dot + 1);

    if (!byName_.empty()) {
        if (const auto* ids = FindIn(byName_, name)) {
            for (uint32_t id : *ids)
                found(id);
        }
    }
    if (!byBase_.empty()) {
        if (const auto* ids = FindIn(byBase_, base)) {
            for (uint32_t id : *ids) {
                const Pattern& p = patterns_[id];
                if (p.rule == Rule::Base || (p.rule == Rule::BaseExtSuffix && ext.ends_with(p.affix)) ||
                    (p.rule == Rule::BaseExtPrefix && ext.starts_with(p.affix))) {
                    found(id);
                }
            }
        }
    }
    if (!byExt_.empty() || !bySuffix_.empty() || !byPrefix_.empty()) {
        for (uint32_t id : ExtensionPatterns(ext))
            found(id);
    }
}

}  // namespace pellora
