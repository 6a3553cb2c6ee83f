#pragma once

// The batch runs up to N files at once, yet reads, writes and reports them
// as one file at a time would.

#include <cstddef>
#include <functional>
#include <vector>

#include "conversion/batch_plan.h"

namespace delvora {

// For each item, the earlier items it waits for: the last earlier one that
// uses any of the same files (files[i] for item i), so that every file is
// read and written in the order a one-at-a-time run would.
std::vector<std::vector<std::size_t>> WaitsForSharedFiles(
    const std::vector<std::vector<PathIdentity>>& files);

// Runs job(i) for every item on up to jobs threads, item i only once the
// items in waits[i] are done. started(i) and finished(i) are called on the
// calling thread in item order, started once item i is being worked on and
// finished once job(i) has returned (what job(i) stored is then visible),
// so that what the user reads comes in the order of the inputs whatever the
// order of the work.
void RunInOrder(std::size_t count, unsigned jobs,
                const std::vector<std::vector<std::size_t>>& waits,
                const std::function<void(std::size_t)>& job,
                const std::function<void(std::size_t)>& started,
                const std::function<void(std::size_t)>& finished);

}  // namespace delvora
