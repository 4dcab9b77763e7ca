#pragma once
// Where the machine key comes from: a per-user key file, the machine id, the login name, and random
// bytes for a new key.

#include <optional>
#include <string>
#include <string_view>

// $XDG_CONFIG_HOME/wendup/key (~/.config/wendup/key by default), as a host path.
std::string StoredKeyPath();

// The stored key's bytes as written; empty when there is no key file or it cannot be read.
std::string ReadStoredKey();

// Replaces the key file (mode 0600), creating its folders (0700) when missing. The file is written
// beside the old one and renamed over it, so a failure leaves the old key. False on failure.
bool WriteStoredKey(std::string_view key);

// Deletes the key file. True when no key file remains.
bool DeleteStoredKey();

// The machine id (/etc/machine-id, else /var/lib/dbus/machine-id) without its line end; empty when
// neither can be read.
std::string MachineId();

// The login name of the effective user in the system code page; nullopt when it cannot be found or
// is 32 bytes or longer (it would not have fitted the 32-byte buffer of the original query).
std::optional<std::string> LoginName();

// 16 random bytes of the operating system as 32 uppercase hexadecimal digits.
std::string RandomKeyText();
