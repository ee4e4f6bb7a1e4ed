#include "core/scan/listing_matches.h"

#include "core/scan/listing_rows.h"

namespace pellora {

namespace {

// Rows between two yields while a listing is read: often enough for the window, rarely enough
// to cost nothing.
constexpr size_t kRowsPerYield = 4096;

}  // namespace

void ListingMatches::AddQuery(ListingTest test, const std::string& object) {
    Queries& queries = Of(test);
    if (queries.ids.count(object))
        return;
    uint32_t id = static_cast<uint32_t>(queries.finds.size());
    queries.ids.emplace(object, id);
    queries.finds.emplace_back();
    switch (test) {
        case ListingTest::Cookie:
            cookies_.Add(object);
            break;
        case ListingTest::RegSearch:
            regSearch_.Add(object);
            break;
        case ListingTest::File:
            files_.Add(object);
            break;
        case ListingTest::ExactPath:
            pathKeys_.push_back(paths_.AddExact(object));
            break;
        case ListingTest::FolderPrefix:
            folderKeys_.push_back(paths_.AddFolder(object));
            break;
    }
}

template <typename Listing, typename Match>
bool ListingMatches::ReadListing(const Listing& listing, const AppState& state, UiPort& ui, Match&& match) {
    // The listing is read by row number and its size read again after every yield: the events
    // that run inside a yield may change it.
    for (size_t row = 0; row < RowCount(listing); ++row) {
        match(static_cast<uint32_t>(row), std::string_view(listing[row]));
        if ((row + 1) % kRowsPerYield == 0) {
            ui.Yield();
            if (!state.busy)
                return false;
        }
    }
    return true;
}

template <typename Listing>
bool ListingMatches::FindPieces(ListingTest test,
                                SubstringMatcher& matcher,
                                const Listing& listing,
                                const AppState& state,
                                UiPort& ui) {
    if (!Has(test))
        return true;
    if (!matcher.Build()) {
        // Too large to index: the walk compares these items row by row.
        Of(test) = Queries{};
        return true;
    }
    auto& finds = Of(test).finds;
    return ReadListing(listing, state, ui, [&](uint32_t row, std::string_view text) {
        matcher.FindIn(text, [&](uint32_t id) { finds[id].push_back(row); });
    });
}

bool ListingMatches::Build(const AppState& state, UiPort& ui) {
    if (!FindPieces(ListingTest::Cookie, cookies_, state.lstCache, state, ui))
        return false;
    if (!FindPieces(ListingTest::RegSearch, regSearch_, state.lstRegScan, state, ui))
        return false;
    bool files = Has(ListingTest::File);
    if (files || !paths_.Empty()) {
        auto& fileFinds = Of(ListingTest::File).finds;
        if (!ReadListing(state.lstHDDItems, state, ui, [&](uint32_t row, std::string_view text) {
                if (files)
                    files_.Match(text, [&](uint32_t id) { fileFinds[id].push_back(row); });
                paths_.Match(row, text);
            })) {
            return false;
        }
        auto& exactFinds = Of(ListingTest::ExactPath).finds;
        for (size_t id = 0; id < exactFinds.size(); ++id) {
            if (auto row = paths_.FirstExact(pathKeys_[id]))
                exactFinds[id].push_back(*row);
        }
        auto& folderFinds = Of(ListingTest::FolderPrefix).finds;
        for (size_t id = 0; id < folderFinds.size(); ++id) {
            if (auto row = paths_.FirstInFolder(folderKeys_[id]))
                folderFinds[id].push_back(*row);
        }
    }
    return true;
}

const std::vector<uint32_t>* ListingMatches::Finds(ListingTest test, const std::string& object) const {
    const Queries& queries = Of(test);
    const uint32_t* id = FindIn(queries.ids, object);
    return id ? &queries.finds[*id] : nullptr;
}

}  // namespace pellora
