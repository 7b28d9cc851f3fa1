// The typed values over the registry: how each stores its bytes, so that
// other writers' values read right, and the limits that keep a bad value
// out of the cache. Which root a setting is read from is tested with the
// settings themselves (test_stored_settings.cpp).

#include "QtPrint.h"
#include "RawRegistry.h"
#include "RegValues.h"
#include "TempSettings.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

const QString kKey = QStringLiteral("Software\\Vantrel\\Ardent8\\8.0");

QByteArray Stored(const QString& name, DWORD* pType = nullptr)
{
    return RawValue(HKEY_CURRENT_USER, kKey, name, pType);
}

void Put(HKEY root, const QString& name, DWORD type, const QByteArray& data)
{
    ASSERT_TRUE(PutRawValue(root, kKey, name, type, data)) << name;
}

TEST(RegValues, StringLimits)
{
    TempSettings settings;
    // 1023 characters (2046 bytes) fit; 1024 (2048 bytes) do not, in either
    // root, and the cache keeps what it had.
    Put(HKEY_CURRENT_USER, QStringLiteral("Fits"), REG_SZ, QByteArray(2046, 'a'));
    Put(HKEY_CURRENT_USER, QStringLiteral("TooLong"), REG_SZ, QByteArray(2048, 'a'));
    Put(HKEY_LOCAL_MACHINE, QStringLiteral("TooLong"), REG_SZ, QByteArray(2050, 'b'));
    StringReg fits(HKEY_CURRENT_USER, kKey, QStringLiteral("Fits"));
    ASSERT_TRUE(fits.Read());
    EXPECT_EQ(fits.GetLength(), 1023);
    StringReg tooLong(HKEY_CURRENT_USER, kKey, QStringLiteral("TooLong"));
    tooLong.Set(QStringLiteral("previous"));
    EXPECT_FALSE(tooLong.Read());
    EXPECT_EQ(tooLong.Get(), u"previous");

    // An empty text is REG_SZ of no bytes and reads back empty.
    ASSERT_TRUE(StringReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Empty")).Write());
    DWORD type = 0;
    EXPECT_EQ(Stored(QStringLiteral("Empty"), &type), QByteArray());
    EXPECT_EQ(type, REG_SZ);
    StringReg empty(HKEY_CURRENT_USER, kKey, QStringLiteral("Empty"));
    empty.Set(QStringLiteral("x"));
    ASSERT_TRUE(empty.Read());
    EXPECT_TRUE(empty.IsEmpty());

    // Stored without a terminator; one left by another writer is not text.
    StringReg plain(HKEY_CURRENT_USER, kKey, QStringLiteral("Plain"));
    plain.Set(QStringLiteral("abc"));
    ASSERT_TRUE(plain.Write());
    EXPECT_EQ(Stored(QStringLiteral("Plain")), QByteArray("a\0b\0c\0", 6));
    Put(HKEY_CURRENT_USER, QStringLiteral("Terminated"), REG_SZ, QByteArray("x\0y\0\0\0", 6));
    StringReg terminated(HKEY_CURRENT_USER, kKey, QStringLiteral("Terminated"));
    ASSERT_TRUE(terminated.Read());
    EXPECT_EQ(terminated.Get(), u"xy");

    EXPECT_TRUE(plain.DeleteValue());
    EXPECT_FALSE(plain.DeleteValue());
    EXPECT_FALSE(plain.Read());
}

TEST(RegValues, SyncWritesOnSetAndBoolReloadsOnGet)
{
    TempSettings settings;
    BoolReg watcher(HKEY_CURRENT_USER, kKey, QStringLiteral("Flag"), true);
    DwordReg notReloading(HKEY_CURRENT_USER, kKey, QStringLiteral("Count"), true);
    EXPECT_EQ(watcher.Get(), 0);
    BoolReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Flag"), true).Set(1); // written at once
    EXPECT_EQ(watcher.Get(), 1) << "a synchronised BoolReg reads again on every Get";
    DwordReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Count"), true).Set(5);
    EXPECT_EQ(notReloading.Get(), 0u) << "other classes only read on Read";
    BoolReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Other")).Set(1);
    EXPECT_EQ(Stored(QStringLiteral("Other")), "<none>") << "unsynchronised: written on Write";
}

// The other classes as other writers see them: numbers as their raw bytes,
// lists as one value per element, named 0, 1, ..., of exactly the element
// size, and nothing left of a longer list after a rewrite.
TEST(RegValues, NumbersAndListsAreStoredAsTheirBytes)
{
    TempSettings settings;
    Put(HKEY_CURRENT_USER, QStringLiteral("Dword"), REG_DWORD, QByteArray("\x05\x00\x00\x80", 4));
    IntReg asInt(HKEY_CURRENT_USER, kKey, QStringLiteral("Dword"));
    ASSERT_TRUE(asInt.Read());
    EXPECT_EQ(asInt.Get(), static_cast<std::int32_t>(0x80000005));
    Put(HKEY_CURRENT_USER, QStringLiteral("Eight"), REG_BINARY, QByteArray(8, '\1'));
    EXPECT_FALSE(DwordReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Eight")).Read()) << "too large";
    ASSERT_TRUE(LongLongReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Big")).Set(-1).Write());
    DWORD type = 0;
    EXPECT_EQ(Stored(QStringLiteral("Big"), &type), QByteArray(8, '\xff'));
    EXPECT_EQ(type, REG_BINARY);

    const QString key = kKey + QStringLiteral("\\List");
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
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, QStringLiteral("3")), "<none>");

    ArrayStringReg names(HKEY_CURRENT_USER, key, 16);
    names.Add(QStringLiteral("zero"));
    names.Add(QStringLiteral("a much longer text"));
    ASSERT_TRUE(names.Write());
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, QStringLiteral("0"), &type),
              QByteArray("z\0e\0r\0o\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(type, REG_SZ);
    ArrayStringReg texts(HKEY_CURRENT_USER, key, 16);
    ASSERT_TRUE(texts.Read());
    EXPECT_EQ(texts.GetAt(1), u"a much l") << "16 bytes hold eight characters";
}

} // namespace
