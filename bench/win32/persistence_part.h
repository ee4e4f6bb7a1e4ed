// The persistence part of the scan benchmark: planted scheduled tasks, services and shortcuts,
// the database items that name them, and the part of a scan they cost, timed alone.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pellora::bench {

struct PersistencePlant {
    std::vector<std::string> items;  // database lines of the persistence kinds, and one path item
    size_t tasks = 0, services = 0, shortcuts = 0;
};

// Plants (where missing; kept for later runs) the tasks below \PelloraBench, the services
// PelloraBench<n> and the shortcuts below the all-users Programs folder's PelloraBench folder;
// every service's program is a file below C:\PelloraBench\Services, the first of which a path
// item names.
PersistencePlant PlantPersistence(size_t tasks, size_t services, size_t shortcuts);

struct PersistenceFigures {
    size_t finds = 0;       // items found
    size_t entries = 0;     // autostart entries enumerated
    size_t references = 0;  // entries that start the found file
    // Seconds of each step: the task items, the service items, the other items (hosts and
    // shortcuts), the autostart enumeration with its matching.
    double taskSeconds = 0, serviceSeconds = 0, otherSeconds = 0, referenceSeconds = 0;
};

// What a scan adds for them: each item tested as the database walk tests it, then the autostart
// places enumerated and matched against the found file, as the scan does after its walk.
PersistenceFigures PersistencePart(const std::vector<std::string>& items);

}  // namespace pellora::bench
