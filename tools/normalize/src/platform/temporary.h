#pragma once
// The result's temporary file beside its target: created, put in place in one
// step, or removed, also by an interruption.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace normalize::platform {

// The result's temporary file: created anew (never an existing name, never
// through a link), readable and writable by this user only until Commit.
// From creation until it is committed or discarded, an interruption (Ctrl-C,
// Ctrl-Break, a closed console window, SIGINT, SIGTERM, SIGHUP) removes it
// before the process ends. Returns nullptr with `name_taken` set when the name
// exists, or with errno set on another failure.
std::FILE* CreateTemporary(const std::string& path, bool& name_taken);
// Closes `file`, then puts `from` in place of `to` in one step (replacing `to`
// if it exists) and makes the new directory entry durable. On failure returns
// the system's reason (the temporary is still there, to be discarded).
// `committed` runs the moment the result is in place, before an interruption
// can end the process.
bool CommitTemporary(std::FILE* file, const std::string& from, const std::string& to, std::string& reason,
                     const std::function<void()>& committed = {});
// Closes (if not yet closed) and removes the temporary.
void DiscardTemporary(std::FILE* file, const std::string& path);
// Removes `path`, a temporary of an earlier run, if that run is over (killed
// outright, or cut off by a power failure); leaves it if the run still works.
void RemoveIfAbandoned(const std::string& path);

// Bits from the system's random source, for names others cannot guess.
std::uint64_t RandomBits();

// Gives `file` the owner, group and access rights of the existing file at
// `model` as far as this process may, so that a replaced file keeps them; a
// new file gets the rights a newly created one would. Best effort.
void CopyPermissions(const std::string& model, std::FILE* file);

}  // namespace normalize::platform
