// One running instance per user: a lock file named after the instance name
// under $XDG_RUNTIME_DIR (else the temporary folder). The holder's process id
// is written into the file so that a second instance can ask it to raise
// its window.
#pragma once

#include <string>

namespace zelt {

// The folder that holds the lock file.
std::string single_instance_lock_dir();

// Takes the lock `<dir>/<name>.lock`. Returns true for the first instance
// (the lock is held until the process ends). Returns false when another
// process holds it; that process has then been asked to raise its window.
// Any failure to create the lock file lets the program run (true).
bool single_instance_acquire(const std::string& name, const std::string& dir);

// True once (and then false again) after another instance asked this one to
// come to the front. Polled by the frame window's loop.
bool single_instance_take_raise_request();

}  // namespace zelt
