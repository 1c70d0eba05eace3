#include "plugin/UpdateCheck.h"

#include <cstdio>
#include <cstring>

#include "plugin/WebSite.h"

ProductIdentityRecord ProductIdentity = {};

namespace {

constexpr char kWebSite[] = VEXO_WEB_SITE;
constexpr char kUpdatePath[] = "/ZVRASP/update/update.aspx?prod=";

// Nothing hands the plug-in a tc value yet: the query carries an empty one.
constexpr char kUpdateTc[] = "";

// The path and the query take at most 114 characters (a seven-character product
// value, three version digits and a tc value of at most 63).
static_assert(sizeof(kWebSite) - 1 + 114 <= kUpdateAddressSize - 1,
              "the update address would not fit its buffer");

constexpr std::size_t kValueSize = 64;

// Copies text into buffer, cut to what fits, always terminated.
void CopyCut(char* buffer, std::size_t size, const char* text) {
    std::snprintf(buffer, size, "%s", text);
}

// Appends text to the terminated contents of buffer, cut to what fits.
void AppendCut(char* buffer, std::size_t size, const char* text) {
    const std::size_t length = strnlen(buffer, size);
    if (length + 1 < size) {
        std::snprintf(buffer + length, size - length, "%s", text);
    }
}

// Removes the first occurrence of marker from text; the rest moves up.
void CutFirst(char* text, const char* marker) {
    char* found = std::strstr(text, marker);
    if (found) {
        const std::size_t markerLength = std::strlen(marker);
        std::memmove(found, found + markerLength, std::strlen(found + markerLength) + 1);
    }
}

// Copies one character of the identifier as a terminated one-character string.
void TakeCharacter(char (&field)[2], std::size_t index) {
    field[0] = kProductIdentifier[index];
    field[1] = '\0';
}

}  // namespace

void InitProductIdentity() {
    std::memcpy(ProductIdentity.productCode, kProductIdentifier, 4);
    ProductIdentity.productCode[4] = '\0';
    TakeCharacter(ProductIdentity.platformLetter, 4);
    TakeCharacter(ProductIdentity.versionMajor, 6);
    TakeCharacter(ProductIdentity.versionMinor, 8);
    TakeCharacter(ProductIdentity.versionRevision, 10);
}

const char* UpdateSystemCode(const vexo::platform::OsVersion& version) {
    constexpr uint32_t kWindows9x = 1;
    constexpr uint32_t kWindowsNt = 2;
    if (version.platformId == kWindows9x) {
        return "9X";
    }
    if (version.platformId != kWindowsNt) {
        return "XP";
    }
    if (version.major == 6) {
        return version.minor <= 1 ? "VI" : "XP";
    }
    if (version.major > 6) {
        return "XP";
    }
    if (version.major == 5) {
        return version.minor >= 1 ? "XP" : "N2";
    }
    return "N2";
}

void ComposeUpdateAddress(const ProductIdentityRecord& identity, const char* site, const char* tc,
                          const vexo::platform::OsVersion& version,
                          char (&address)[kUpdateAddressSize]) {
    char product[kValueSize];
    char versionValue[kValueSize];
    char tcValue[kValueSize];
    char pageBase[kUpdateAddressSize] = {};
    std::memset(address, 0, sizeof(address));

    // The identity's fields are read no further than their own size.
    std::snprintf(product, sizeof(product), "%.*s%.*s",
                  static_cast<int>(sizeof(identity.productCode) - 1), identity.productCode,
                  static_cast<int>(sizeof(identity.platformLetter) - 1), identity.platformLetter);
    std::snprintf(versionValue, sizeof(versionValue), "%.*s%.*s%.*s",
                  static_cast<int>(sizeof(identity.versionMajor) - 1), identity.versionMajor,
                  static_cast<int>(sizeof(identity.versionMinor) - 1), identity.versionMinor,
                  static_cast<int>(sizeof(identity.versionRevision) - 1), identity.versionRevision);

    // The cut works on the value as it fits its buffer.
    CopyCut(tcValue, sizeof(tcValue), tc ? tc : "");
    CutFirst(tcValue, "&TC=");

    AppendCut(product, sizeof(product), UpdateSystemCode(version));

    CopyCut(pageBase, sizeof(pageBase), site ? site : "");
    AppendCut(pageBase, sizeof(pageBase), kUpdatePath);

    std::snprintf(address, sizeof(address), "%s%s&ver=%s&tc=%s", pageBase, product, versionValue,
                  tcValue);
}

void CheckForUpdates() {
    char address[kUpdateAddressSize];
    ComposeUpdateAddress(ProductIdentity, kWebSite, kUpdateTc, vexo::platform::GetOsVersion(),
                         address);
    vexo::platform::OpenAddress(nullptr, address);
}
