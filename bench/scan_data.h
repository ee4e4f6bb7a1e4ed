// Generated data for the scan benchmarks: disk and registry trees in listing order, with names
// like those of a real system, cookie file names, and a reference database of every kind of
// item of which about one in a hundred names something present. Deterministic for a seed.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace pellora::bench {

class Names {
  public:
    explicit Names(unsigned seed) : random_(seed) {
        const char* syllables[] = {"win",  "sys",   "mic",  "ro",   "soft", "net",   "data", "app",
                                   "ser",  "vice",  "core", "lib",  "cfg",  "up",    "date", "ms",
                                   "x",    "64",    "res",  "font", "web",  "cache", "user", "log",
                                   "temp", "shell", "kit",  "tool", "lang", "en",    "us",   "pack"};
        for (int i = 0; i < 6000; ++i) {
            std::string word;
            for (int n = 2 + Number(3); n > 0; --n)
                word += syllables[Number(32)];
            if (Number(4) == 0)
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            words_.push_back(word);
        }
    }
    int Number(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }
    const std::string& Word() { return words_[Number(static_cast<int>(words_.size()))]; }
    std::string Extension() { return Number(50) == 0 ? Word().substr(0, 3) : kCommon[Number(20)]; }
    static bool IsCommonExtension(const std::string& ext) {
        for (const char* common : kCommon) {
            if (ext == common)
                return true;
        }
        return false;
    }
    template <typename Rows>
    const std::string& Pick(const Rows& rows) {
        return rows[Number(static_cast<int>(rows.size()))];
    }

  private:
    static constexpr const char* kCommon[] = {"dll", "exe", "txt",  "ini", "dat", "log",      "png",
                                              "xml", "js",  "html", "sys", "cab", "manifest", "mui",
                                              "cat", "inf", "json", "css", "ico", "lnk"};
    std::mt19937 random_;
    std::vector<std::string> words_;
};

// A folder's entries, then its subfolders' (depth first), as the hard-disk listing lists them,
// until `count` rows. `add(path, isFolder)` receives every row.
inline void GenerateFolder(Names& names,
                           const std::string& folder,
                           int depth,
                           size_t& rows,
                           size_t count,
                           const std::function<void(const std::string&, bool)>& add) {
    std::vector<std::string> subfolders;
    int files = 2 + names.Number(depth < 2 ? 6 : 25);
    int folders = depth >= 7 ? 0 : names.Number(depth < 3 ? 9 : 4);
    for (int i = 0; i < files + folders && rows < count; ++i) {
        std::string path = folder + "\\" + names.Word();
        bool isFolder = i >= files;
        if (isFolder) {
            path += std::to_string(i);  // names of one folder stay distinct
            subfolders.push_back(path);
        } else {
            path.append(".").append(names.Extension());
        }
        add(path, isFolder);
        ++rows;
    }
    for (const std::string& sub : subfolders) {
        if (rows < count)
            GenerateFolder(names, sub, depth + 1, rows, count, add);
    }
}

// A key and its subtree in listing order (the key first), until `rows` holds `count` keys.
inline void GenerateKey(Names& names, const std::string& key, int depth, std::vector<std::string>& rows, size_t count) {
    rows.push_back(key);
    int subkeys = depth >= 6 ? 0 : names.Number(depth < 2 ? 12 : 5);
    for (int i = 0; i < subkeys && rows.size() < count; ++i) {
        std::string name = names.Number(8) == 0 ? "{" + std::to_string(names.Number(1 << 30)) + "-" + names.Word() + "}"
                                                : names.Word() + std::to_string(i);
        GenerateKey(names, key + "\\" + name, depth + 1, rows, count);
    }
}

// A tree below `root` of `count` rows: top folders, each with its entries and subfolders.
inline void GenerateTree(Names& names,
                         const std::string& root,
                         size_t count,
                         const std::function<void(const std::string&, bool)>& add) {
    size_t rows = 0;
    for (int top = 0; rows < count; ++top) {
        std::string folder = root + "\\" + names.Word() + std::to_string(top);
        add(folder, true);
        ++rows;
        GenerateFolder(names, folder, 1, rows, count, add);
    }
}

// `root` and `count` - 1 keys below it, in listing order.
inline void GenerateKeys(Names& names, const std::string& root, size_t count, std::vector<std::string>& rows) {
    size_t end = rows.size() + count;
    rows.push_back(root);
    for (int top = 0; rows.size() < end; ++top) {
        GenerateKey(names, root + "\\" + names.Word() + std::to_string(top), 1, rows, end);
    }
}

inline std::vector<std::string> GenerateCookies(Names& names, size_t count) {
    std::vector<std::string> cookies;
    for (size_t i = 0; i < count; ++i)
        cookies.push_back("user@" + names.Word() + "[1].txt");
    return cookies;
}

// An extension of the listing that is not one of the common ones: a star pattern of it finds
// some hundred files, not a twentieth of the disk.
inline std::string RareExtension(Names& names, const std::vector<std::string>& disk) {
    for (int tries = 0; tries < 1000; ++tries) {
        const std::string& row = names.Pick(disk);
        size_t dot = row.rfind('.');
        if (dot == std::string::npos || row.find('\\', dot) != std::string::npos)
            continue;
        std::string ext = row.substr(dot + 1);
        if (!Names::IsCommonExtension(ext))
            return ext;
    }
    return "zzz";
}

// Entry 1 is the version line; then `items` signature items, kinds in a fixed cycle of twenty:
// 5 path, 2 folder, 3 regval, 3 regkey, 2 cookie, 2 file, 3 regsearch.
inline std::vector<std::string> GenerateDatabase(Names& names,
                                                 const std::vector<std::string>& disk,
                                                 const std::vector<std::string>& registry,
                                                 const std::vector<std::string>& cookies,
                                                 size_t items) {
    std::vector<std::string> database{"Version 2026.12"};
    for (size_t index = 1; index <= items; ++index) {
        bool present = names.Number(100) == 0;
        std::string object;
        const char* type = "";
        switch (index % 20) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4:
                type = "path";
                object =
                    present ? names.Pick(disk) : "C:\\Program Files\\" + names.Word() + "\\" + names.Word() + ".exe";
                break;
            case 5:
            case 6:
                type = "folder";
                object = present ? names.Pick(disk) : "%ProgramsDir%\\" + names.Word() + "Bar";
                break;
            case 7:
            case 8:
            case 9:
                type = "regval";
                object = "HKEY_CURRENT_USER\\Software\\" + names.Word() + "," + names.Word();
                break;
            case 10:
            case 11:
            case 12:
                type = "regkey";
                object = "HKEY_LOCAL_MACHINE\\Software\\" + names.Word();
                break;
            case 13:
            case 14:
                type = "cookie";
                object = present ? names.Pick(cookies).substr(5, 6) : names.Word() + "ads";
                break;
            case 15:
            case 16: {
                type = "file";
                std::string name = names.Pick(disk);
                name = name.substr(name.rfind('\\') + 1);
                if (names.Number(300) == 0) {
                    object = "*." + RareExtension(names, disk);
                } else {
                    object = present ? name : names.Word() + "_mal." + names.Extension();
                }
                break;
            }
            default:
                type = "regsearch";
                if (present) {
                    // A key of a name of its own: the key and the keys below it are found.
                    std::string key = names.Pick(registry);
                    for (int tries = 0; tries < 1000 && key.back() != '}'; ++tries)
                        key = names.Pick(registry);
                    object = key.substr(key.rfind('\\') + 1);
                } else {
                    object = names.Word() + "spy";
                }
        }
        std::string comment = index % 10 == 0 ? "http://help.example/" + std::to_string(index) : "";
        database.push_back(std::string(type) + "|" + object + "|Threat" + std::to_string(index % 97) + "|" + comment);
    }
    return database;
}

}  // namespace pellora::bench
