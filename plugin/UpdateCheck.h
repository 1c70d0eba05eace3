#pragma once

#include <cstddef>

#include "platform/Platform.h"

// The update check composes the address of the maker's update page, with the
// product, its version and the user's operating system in the query, and has the
// shell open it; the page decides what to offer. It reads no reply and makes no
// connection of its own.

// Product code (4), platform letter (1) and three two-digit version fields, of
// which only the second digit of each is used.
inline constexpr char kProductIdentifier[] = "VexoW010205";

// The pieces of kProductIdentifier that the update query needs, each terminated.
struct ProductIdentityRecord {
    char productCode[5];
    char platformLetter[2];
    char versionMajor[2];
    char versionMinor[2];
    char versionRevision[2];
};

// Empty at load; filled by InitProductIdentity.
extern ProductIdentityRecord ProductIdentity;

// Splits kProductIdentifier into ProductIdentity. Calling it again writes the
// same values.
void InitProductIdentity();

// Opens the update page for ProductIdentity on this system, with no owner window.
// InitProductIdentity must have run first, or the product and version are empty.
void CheckForUpdates();

// Room of the finished address, terminator included: longer ones are cut.
inline constexpr std::size_t kUpdateAddressSize = 256;

// Two-letter code of the operating system in the update query.
const char* UpdateSystemCode(const vexo::platform::OsVersion& version);

// The update page's address on site for identity on the given system, with tc
// as the query's tc value. Every piece is cut to its buffer: a tc value keeps at
// most 63 characters, and the whole address at most kUpdateAddressSize - 1.
void ComposeUpdateAddress(const ProductIdentityRecord& identity, const char* site, const char* tc,
                          const vexo::platform::OsVersion& version,
                          char (&address)[kUpdateAddressSize]);
