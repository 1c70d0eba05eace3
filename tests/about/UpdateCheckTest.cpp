#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "plugin/UpdateCheck.h"
#include "plugin/WebSite.h"

namespace {

using vexo::platform::OsVersion;

constexpr OsVersion kNt61 = {2, 6, 1};
const std::string kUpdatePage = VEXO_WEB_SITE "/ZVRASP/update/update.aspx?prod=";

ProductIdentityRecord Identity() {
    InitProductIdentity();
    return ProductIdentity;
}

// The address as composed, with guard bytes behind the buffer that must survive.
std::string Compose(const ProductIdentityRecord& identity, const char* site, const char* tc,
                    OsVersion version = kNt61) {
    struct {
        char address[kUpdateAddressSize];
        char guard[32];
    } out;
    std::memset(&out, 0x5A, sizeof(out));
    ComposeUpdateAddress(identity, site, tc, version, out.address);
    for (char g : out.guard) {
        EXPECT_EQ(g, 0x5A) << "written past the address buffer";
    }
    EXPECT_NE(std::memchr(out.address, '\0', sizeof(out.address)), nullptr);
    return out.address;
}

TEST(ProductIdentity, SplitsTheBuiltInIdentifier) {
    ProductIdentity = {};
    InitProductIdentity();
    InitProductIdentity();  // a second call writes the same values
    EXPECT_STREQ(ProductIdentity.productCode, "Vexo");
    EXPECT_STREQ(ProductIdentity.platformLetter, "W");
    EXPECT_STREQ(ProductIdentity.versionMajor, "1");
    EXPECT_STREQ(ProductIdentity.versionMinor, "2");
    EXPECT_STREQ(ProductIdentity.versionRevision, "5");
}

struct SystemCodeCase {
    const char* name;
    OsVersion version;
    const char* code;
};

class UpdateSystemCodeTable : public testing::TestWithParam<SystemCodeCase> {};

TEST_P(UpdateSystemCodeTable, NamesTheSystem) {
    const SystemCodeCase& c = GetParam();
    EXPECT_STREQ(UpdateSystemCode(c.version), c.code);
    // The code reaches the query right behind the product code and platform letter.
    const std::string address = Compose(Identity(), VEXO_WEB_SITE, "", c.version);
    EXPECT_EQ(address, kUpdatePage + "VexoW" + c.code + "&ver=125&tc=");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UpdateSystemCodeTable,
    testing::Values(
        SystemCodeCase{"Windows9x", {1, 4, 10}, "9X"},
        SystemCodeCase{"Windows9xWithNtNumbers", {1, 6, 1}, "9X"},
        SystemCodeCase{"Nt60", {2, 6, 0}, "VI"}, SystemCodeCase{"Nt61", {2, 6, 1}, "VI"},
        SystemCodeCase{"Nt62", {2, 6, 2}, "XP"}, SystemCodeCase{"Nt63", {2, 6, 3}, "XP"},
        SystemCodeCase{"Nt70", {2, 7, 0}, "XP"}, SystemCodeCase{"Nt100", {2, 10, 0}, "XP"},
        SystemCodeCase{"Nt50", {2, 5, 0}, "N2"}, SystemCodeCase{"Nt51", {2, 5, 1}, "XP"},
        SystemCodeCase{"Nt52", {2, 5, 2}, "XP"}, SystemCodeCase{"Nt40", {2, 4, 0}, "N2"},
        SystemCodeCase{"Nt0", {2, 0, 0}, "N2"},
        // Versions compare as unsigned numbers: these are not below 5 or 6.
        SystemCodeCase{"NtHugeMajor", {2, 0xFFFFFFFFu, 0}, "XP"},
        SystemCodeCase{"NtHugeMinor", {2, 6, 0xFFFFFFFFu}, "XP"},
        SystemCodeCase{"Win32s", {0, 3, 1}, "XP"},
        SystemCodeCase{"OtherPlatform", {3, 6, 1}, "XP"}),
    [](const testing::TestParamInfo<SystemCodeCase>& info) { return info.param.name; });

struct TcCase {
    const char* name;
    std::string tc;
    std::string inQuery;
};

class UpdateTcValue : public testing::TestWithParam<TcCase> {};

TEST_P(UpdateTcValue, EndsTheQuery) {
    const TcCase& c = GetParam();
    EXPECT_EQ(Compose(Identity(), VEXO_WEB_SITE, c.tc.c_str()),
              kUpdatePage + "VexoWVI&ver=125&tc=" + c.inQuery);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateTcValue,
    testing::Values(
        TcCase{"Empty", "", ""}, TcCase{"Plain", "ab12", "ab12"}, TcCase{"MarkerOnly", "&TC=", ""},
        TcCase{"FirstMarkerCut", "ab&TC=cd", "abcd"},
        TcCase{"OnlyTheFirstOfTwoIsCut", "a&TC=b&TC=c", "ab&TC=c"},
        TcCase{"MarkerAtTheStart", "&TC=&TC=x", "&TC=x"},
        TcCase{"LowerCaseStays", "a&tc=b", "a&tc=b"},
        TcCase{"Exactly63", std::string(63, 't'), std::string(63, 't')},
        TcCase{"LongIsCutTo63", std::string(200, 'u'), std::string(63, 'u')},
        // The cut looks at what fits: a marker torn by the 63rd character stays torn.
        TcCase{"MarkerTornByTheCut", std::string(61, 'v') + "&TC=w", std::string(61, 'v') + "&T"},
        TcCase{"MarkerBeforeTheCut", "&TC=" + std::string(70, 'w'), std::string(59, 'w')}),
    [](const testing::TestParamInfo<TcCase>& info) { return info.param.name; });

TEST(UpdateAddress, NullTcIsEmpty) {
    EXPECT_EQ(Compose(Identity(), VEXO_WEB_SITE, nullptr), kUpdatePage + "VexoWVI&ver=125&tc=");
}

TEST(UpdateAddress, OurSiteWithTheLongestTcFitsWhole) {
    const std::string tc(63, 'z');
    const std::string address = Compose(Identity(), VEXO_WEB_SITE, tc.c_str());
    EXPECT_EQ(address, kUpdatePage + "VexoWVI&ver=125&tc=" + tc);
    EXPECT_LT(address.size(), kUpdateAddressSize);
}

TEST(UpdateAddress, LongSitesAreCutToTheBuffer) {
    // A site that leaves room for the path but not the query, one that fills the
    // page base exactly, and one far beyond it.
    for (std::size_t length : {200u, 255u, 256u, 1000u}) {
        const std::string site = "https://" + std::string(length - 8, 's');
        const std::string address = Compose(Identity(), site.c_str(), std::string(63, 'q').c_str());
        const std::string whole =
            site + "/ZVRASP/update/update.aspx?prod=VexoWVI&ver=125&tc=" + std::string(63, 'q');
        EXPECT_EQ(address, whole.substr(0, kUpdateAddressSize - 1)) << "site length " << length;
    }
}

TEST(UpdateAddress, EmptyIdentityGivesEmptyValues) {
    const ProductIdentityRecord empty = {};
    EXPECT_EQ(Compose(empty, VEXO_WEB_SITE, ""), kUpdatePage + "VI&ver=&tc=");
}

TEST(UpdateAddress, UnterminatedIdentityFieldsAreReadNoFurther) {
    ProductIdentityRecord garbage;
    std::memset(&garbage, 'G', sizeof(garbage));
    EXPECT_EQ(Compose(garbage, VEXO_WEB_SITE, ""), kUpdatePage + "GGGGGVI&ver=GGG&tc=");
}

struct OpenedAddress {
    void* owner;
    std::string address;
};

std::vector<OpenedAddress>* gOpened = nullptr;

TEST(CheckForUpdates, OpensTheUpdatePageWithoutOwnerEveryTime) {
    std::vector<OpenedAddress> opened;
    gOpened = &opened;
    vexo::platform::ScopedServices services;
    services->openAddress = [](void* owner, const char* address) {
        gOpened->push_back({owner, address});
    };
    services->osVersion = [] { return kNt61; };

    InitProductIdentity();
    CheckForUpdates();
    CheckForUpdates();
    gOpened = nullptr;

    ASSERT_EQ(opened.size(), 2u);
    for (const OpenedAddress& o : opened) {
        EXPECT_EQ(o.owner, nullptr);
        EXPECT_EQ(o.address, kUpdatePage + "VexoWVI&ver=125&tc=");
    }
}

}  // namespace
