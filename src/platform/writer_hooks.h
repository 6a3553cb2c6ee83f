#pragma once

// The writer's switch and counters for its tests, apart from the writer's
// interface (replacing_file.h), which production code includes: the tests
// include this to take the path a file system without unnamed files takes,
// and to count what a durable commit forced to disk.

#include <atomic>

namespace delvora::writer_hooks {

// Off: named temporaries, as on a file system without O_TMPFILE.
inline std::atomic<bool> use_unnamed_files{true};
// The flushes durable commits made: files, folders.
inline std::atomic<int> file_flushes{0};
inline std::atomic<int> folder_flushes{0};

}  // namespace delvora::writer_hooks
