// The typed values the program uses over the registry: how a text stores
// its bytes, so that other writers' values read right, and the limits that
// keep a bad value out of the cache. Which root a setting is read from is tested with the
// settings themselves (test_stored_settings.cpp).

#include "QtPrint.h"
#include "RegValues.h"
#include "TempSettings.h"

#include <gtest/gtest.h>

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

TEST(RegValues, TextsAndTheirLimits)
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

    Put(HKEY_CURRENT_USER, QStringLiteral("Eight"), REG_BINARY, QByteArray(8, '\1'));
    EXPECT_FALSE(DwordReg(HKEY_CURRENT_USER, kKey, QStringLiteral("Eight")).Read()) << "too large";

    EXPECT_TRUE(plain.DeleteValue());
    EXPECT_FALSE(plain.DeleteValue());
    EXPECT_FALSE(plain.Read());
}

} // namespace
