// The typed registry values: the bytes each stores, so other writers' values read right,
// and the limits that keep bad values out of the cache; and the display scale.

#include "LangSet.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QString kKey = u"Software\\Vantrel\\Ardent8\\8.0"_s;

QByteArray Stored(const QString& name, DWORD* pType = nullptr)
{
    return RawValue(HKEY_CURRENT_USER, kKey, name, pType);
}

void Put(HKEY root, const QString& name, DWORD type, const QByteArray& data)
{
    ASSERT_TRUE(PutRawValue(root, kKey, name, type, data)) << name;
}

TEST(RegValues, TextsAndTheirLimits)
{
    TempSettings settings;
    // 1023 characters fit, 1024 do not in either root; the cache keeps what it had.
    Put(HKEY_CURRENT_USER, u"Fits"_s, REG_SZ, QByteArray(2046, 'a'));
    Put(HKEY_CURRENT_USER, u"TooLong"_s, REG_SZ, QByteArray(2048, 'a'));
    Put(HKEY_LOCAL_MACHINE, u"TooLong"_s, REG_SZ, QByteArray(2050, 'b'));
    StringReg fits(HKEY_CURRENT_USER, kKey, u"Fits"_s);
    ASSERT_TRUE(fits.Read());
    EXPECT_EQ(fits.GetLength(), 1023);
    StringReg tooLong(HKEY_CURRENT_USER, kKey, u"TooLong"_s);
    tooLong.Set(u"previous"_s);
    EXPECT_FALSE(tooLong.Read());
    EXPECT_EQ(tooLong.Get(), u"previous");

    // An empty text is REG_SZ of no bytes and reads back empty.
    ASSERT_TRUE(StringReg(HKEY_CURRENT_USER, kKey, u"Empty"_s).Write());
    DWORD type = 0;
    EXPECT_EQ(Stored(u"Empty"_s, &type), QByteArray());
    EXPECT_EQ(type, REG_SZ);
    StringReg empty(HKEY_CURRENT_USER, kKey, u"Empty"_s);
    empty.Set(u"x"_s);
    ASSERT_TRUE(empty.Read());
    EXPECT_TRUE(empty.IsEmpty());

    // Stored without a terminator; one left by another writer is not text.
    StringReg plain(HKEY_CURRENT_USER, kKey, u"Plain"_s);
    plain.Set(u"abc"_s);
    ASSERT_TRUE(plain.Write());
    EXPECT_EQ(Stored(u"Plain"_s), QByteArray("a\0b\0c\0", 6));
    Put(HKEY_CURRENT_USER, u"Terminated"_s, REG_SZ, QByteArray("x\0y\0\0\0", 6));
    StringReg terminated(HKEY_CURRENT_USER, kKey, u"Terminated"_s);
    ASSERT_TRUE(terminated.Read());
    EXPECT_EQ(terminated.Get(), u"xy");

    Put(HKEY_CURRENT_USER, u"Eight"_s, REG_BINARY, QByteArray(8, '\1'));
    EXPECT_FALSE(DwordReg(HKEY_CURRENT_USER, kKey, u"Eight"_s).Read()) << "too large";

    EXPECT_TRUE(plain.DeleteValue());
    EXPECT_FALSE(plain.DeleteValue());
    EXPECT_FALSE(plain.Read());
}

// Numbers as raw bytes; lists one value per element of its size, nothing left after a
// shorter rewrite; a synchronised BoolReg reads again on every Get.
TEST(RegValues, TheFamilyStoresItsBytes)
{
    TempSettings settings;
    BoolReg watcher(HKEY_CURRENT_USER, kKey, u"Flag"_s, true);
    EXPECT_EQ(watcher.Get(), 0);
    BoolReg(HKEY_CURRENT_USER, kKey, u"Flag"_s, true).Set(1); // written at once
    EXPECT_EQ(watcher.Get(), 1);
    BoolReg(HKEY_CURRENT_USER, kKey, u"Other"_s).Set(1);
    EXPECT_EQ(Stored(u"Other"_s), "<none>") << "unsynchronised: written on Write";

    Put(HKEY_CURRENT_USER, u"Dword"_s, REG_DWORD, QByteArray("\x05\x00\x00\x80", 4));
    IntReg asInt(HKEY_CURRENT_USER, kKey, u"Dword"_s);
    ASSERT_TRUE(asInt.Read());
    EXPECT_EQ(asInt.Get(), static_cast<std::int32_t>(0x80000005));
    ASSERT_TRUE(LongLongReg(HKEY_CURRENT_USER, kKey, u"Big"_s).Set(-1).Write());
    DWORD type = 0;
    EXPECT_EQ(Stored(u"Big"_s, &type), QByteArray(8, '\xff'));
    EXPECT_EQ(type, REG_BINARY);

    const QString key = kKey + u"\\List"_s;
    ArrayReg array(HKEY_CURRENT_USER, key, 8);
    EXPECT_EQ(array.Add("1234567", 7), -1) << "a wrong size";
    for (char c = 'a'; c < 'f'; ++c)
        EXPECT_EQ(array.Add(QByteArray(8, c).constData(), 8), c - 'a');
    ASSERT_TRUE(array.Write());
    array.RemoveAt(4);
    array.RemoveAt(3);
    ASSERT_TRUE(array.Write());
    ArrayReg loaded(HKEY_CURRENT_USER, key, 8);
    ASSERT_TRUE(loaded.Read());
    ASSERT_EQ(loaded.GetCount(), 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(loaded.GetAt(2)), 8), QByteArray(8, 'c'));
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, u"3"_s), "<none>");

    ArrayStringReg names(HKEY_CURRENT_USER, key, 16);
    names.Add(u"zero"_s);
    names.Add(u"a much longer text"_s);
    ASSERT_TRUE(names.Write());
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, u"0"_s, &type),
              QByteArray("z\0e\0r\0o\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(type, REG_SZ);
    ArrayStringReg texts(HKEY_CURRENT_USER, key, 16);
    ASSERT_TRUE(texts.Read());
    EXPECT_EQ(texts.GetAt(1), u"a much l") << "16 bytes hold eight characters";
}

class ScaleTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetScaleSettingsForTesting(); }
    void TearDown() override
    {
        SetDisplayDpiSource(nullptr);
        ResetScaleSettingsForTesting();
    }
    TempSettings m_settings;
};

TEST_F(ScaleTest, ScalingFollowsTheDisplayOnlyWhenSwitchedOn)
{
    SetDisplayDpiSource([] { return 192.0; });
    EXPECT_FALSE(IsDpiScalingEnabled());
    EXPECT_DOUBLE_EQ(GetDpiScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetImageScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetDpiScale(true), 2.0) << "the force flag asks the display anyway";

    // Read once per process: switched on now, it is seen only after a reset.
    DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"EnableDPIAware"_s);
    ASSERT_TRUE(enable.Set(1).Write());
    EXPECT_FALSE(IsDpiScalingEnabled());
    ResetScaleSettingsForTesting();
    ASSERT_TRUE(IsDpiScalingEnabled());
    // Pictures scale only in steps: 1 or 1.5.
    for (const auto& [dpi, dpiScale, imageScale] : {std::tuple{96.0, 1.0, 1.0},
                                                    {120.0, 1.25, 1.0},
                                                    {143.0, 143 / 96.0, 1.0},
                                                    {144.0, 1.5, 1.5},
                                                    {192.0, 2.0, 1.5}}) {
        SetDisplayDpiSource([d = dpi] { return d; });
        EXPECT_DOUBLE_EQ(GetDpiScale(), dpiScale) << dpi;
        EXPECT_DOUBLE_EQ(GetImageScale(), imageScale) << dpi;
    }
}

} // namespace
