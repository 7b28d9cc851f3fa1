#include "QtPrint.h"
#include "RegValues.h"
#include "TempSettings.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

const QString kKey = QStringLiteral("Software\\Vantrel\\Ardent8\\8.0");

// The raw bytes and type of a value in one root only, or "<none>".
QByteArray Stored(HKEY root, const QString& path, const QString& name, DWORD* pType = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<none>";
    QByteArray data(8192, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueEx(key, name, pType, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<none>";
    data.resize(size);
    return data;
}

void Put(HKEY root, const QString& name, DWORD type, const QByteArray& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(root, kKey, KEY_WRITE, &key), ERROR_SUCCESS);
    RegSetValueEx(key, name, type, data.constData(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

TEST(RegValues, ReadsFallBackToTheMachineAndWritesStayInTheirRoot)
{
    TempSettings settings;
    StringReg machine(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("ImagePath"));
    machine.Set(QStringLiteral("/srv/images"));
    ASSERT_TRUE(machine.Write());

    StringReg user(HKEY_CURRENT_USER, kKey, QStringLiteral("ImagePath"));
    ASSERT_TRUE(user.Read());
    EXPECT_EQ(user.Get(), u"/srv/images");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("ImagePath")), "<none>")
        << "reading never copies the machine's value";

    user.Set(QStringLiteral("/home/me/isos"));
    ASSERT_TRUE(user.Write());
    StringReg again(HKEY_CURRENT_USER, kKey, QStringLiteral("ImagePath"));
    ASSERT_TRUE(again.Read());
    EXPECT_EQ(again.Get(), u"/home/me/isos");
    StringReg machineAgain(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("ImagePath"));
    ASSERT_TRUE(machineAgain.Read());
    EXPECT_EQ(machineAgain.Get(), u"/srv/images") << "writing never touches the machine root";
}

TEST(RegValues, DefaultsWhenNothingIsStored)
{
    TempSettings settings;
    DwordReg dword(HKEY_CURRENT_USER, kKey, QStringLiteral("Missing"));
    DwordReg2 dword2(HKEY_CURRENT_USER, kKey, QStringLiteral("Missing"));
    StringReg text(HKEY_CURRENT_USER, kKey, QStringLiteral("Missing"));
    EXPECT_FALSE(dword.Read());
    EXPECT_FALSE(dword2.Read());
    EXPECT_FALSE(text.Read());
    EXPECT_EQ(dword.Get(), 0u);
    EXPECT_EQ(dword2.Get(), 0xFFFFFFFFu);
    EXPECT_TRUE(text.IsEmpty());
    BoolReg flag;
    EXPECT_EQ(flag.m_hRoot, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(flag.Get(), 0);
}

TEST(RegValues, StringLimits)
{
    TempSettings settings;
    // 1023 characters (2046 bytes) fit; 1024 (2048 bytes) do not, in either
    // root, and the cache keeps what it had.
    Put(HKEY_CURRENT_USER, QStringLiteral("Fits"), REG_SZ,
        QByteArray(2046, 'a')); // 1023 times U+6161
    Put(HKEY_CURRENT_USER, QStringLiteral("TooLong"), REG_SZ, QByteArray(2048, 'a'));
    Put(HKEY_LOCAL_MACHINE, QStringLiteral("TooLong"), REG_SZ, QByteArray(2050, 'b'));

    StringReg fits(HKEY_CURRENT_USER, kKey, QStringLiteral("Fits"));
    ASSERT_TRUE(fits.Read());
    EXPECT_EQ(fits.GetLength(), 1023);

    StringReg tooLong(HKEY_CURRENT_USER, kKey, QStringLiteral("TooLong"));
    tooLong.Set(QStringLiteral("previous"));
    EXPECT_FALSE(tooLong.Read());
    EXPECT_TRUE(tooLong.Equals(QStringLiteral("previous")));

    // An empty text is stored as REG_SZ of no bytes and reads back empty.
    StringReg empty(HKEY_CURRENT_USER, kKey, QStringLiteral("Empty"));
    ASSERT_TRUE(empty.Write());
    DWORD type = 0;
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("Empty"), &type), QByteArray());
    EXPECT_EQ(type, REG_SZ);
    StringReg readBack(HKEY_CURRENT_USER, kKey, QStringLiteral("Empty"));
    readBack.Set(QStringLiteral("x"));
    ASSERT_TRUE(readBack.Read());
    EXPECT_TRUE(readBack.IsEmpty());

    // Stored without a terminator; one left by another writer is not text.
    StringReg plain(HKEY_CURRENT_USER, kKey, QStringLiteral("Plain"));
    plain.Set(QStringLiteral("abc"));
    ASSERT_TRUE(plain.Write());
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("Plain")), QByteArray("a\0b\0c\0", 6));
    Put(HKEY_CURRENT_USER, QStringLiteral("Terminated"), REG_SZ, QByteArray("x\0y\0\0\0", 6));
    StringReg terminated(HKEY_CURRENT_USER, kKey, QStringLiteral("Terminated"));
    ASSERT_TRUE(terminated.Read());
    EXPECT_EQ(terminated.Get(), u"xy");

    EXPECT_TRUE(plain.DeleteValue());
    EXPECT_FALSE(plain.DeleteValue());
    EXPECT_FALSE(plain.Read());
}

TEST(RegValues, NumbersAreStoredAsTheirBytes)
{
    TempSettings settings;
    Put(HKEY_CURRENT_USER, QStringLiteral("Dword"), REG_DWORD, QByteArray("\x05\x00\x00\x80", 4));
    BoolReg asBool(HKEY_CURRENT_USER, kKey, QStringLiteral("Dword"));
    IntReg asInt(HKEY_CURRENT_USER, kKey, QStringLiteral("Dword"));
    ASSERT_TRUE(asBool.Read());
    ASSERT_TRUE(asInt.Read());
    EXPECT_EQ(asBool.Get(), static_cast<std::int32_t>(0x80000005));
    EXPECT_EQ(asInt.Get(), static_cast<std::int32_t>(0x80000005));

    // Too large for a 4-byte cache: the read fails.
    Put(HKEY_CURRENT_USER, QStringLiteral("Eight"), REG_BINARY, QByteArray(8, '\1'));
    DwordReg small(HKEY_CURRENT_USER, kKey, QStringLiteral("Eight"));
    EXPECT_FALSE(small.Read());

    DoubleReg number(HKEY_CURRENT_USER, kKey, QStringLiteral("Double"));
    number.Set(2.5);
    ASSERT_TRUE(number.Write());
    DWORD type = 0;
    const QByteArray stored = Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("Double"), &type);
    EXPECT_EQ(type, REG_BINARY);
    const double expected = 2.5;
    EXPECT_EQ(stored, QByteArray(reinterpret_cast<const char*>(&expected), 8));

    LongLongReg big(HKEY_CURRENT_USER, kKey, QStringLiteral("Big"));
    big.Set(-1);
    ASSERT_TRUE(big.Write());
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("Big"), &type), QByteArray(8, '\xff'));
    EXPECT_EQ(type, REG_BINARY);
    DwordReg dword(HKEY_CURRENT_USER, kKey, QStringLiteral("D"));
    dword.Set(7);
    ASSERT_TRUE(dword.Write());
    Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("D"), &type);
    EXPECT_EQ(type, REG_DWORD);
}

TEST(RegValues, SyncWritesOnSetAndBoolReloadsOnGet)
{
    TempSettings settings;
    BoolReg watcher(HKEY_CURRENT_USER, kKey, QStringLiteral("Flag"), true);
    DwordReg notReloading(HKEY_CURRENT_USER, kKey, QStringLiteral("Count"), true);
    EXPECT_EQ(watcher.Get(), 0);

    BoolReg writer(HKEY_CURRENT_USER, kKey, QStringLiteral("Flag"), true);
    writer.Set(1); // written at once
    EXPECT_EQ(watcher.Get(), 1) << "a synchronised BoolReg reads again on every Get";

    DwordReg counter(HKEY_CURRENT_USER, kKey, QStringLiteral("Count"), true);
    counter.Set(5);
    EXPECT_EQ(notReloading.Get(), 0u) << "other classes only read on Read";

    BoolReg unsynced(HKEY_CURRENT_USER, kKey, QStringLiteral("Other"));
    unsynced.Set(1);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, QStringLiteral("Other")), "<none>");
}

TEST(ArrayReg, RewriteLeavesExactlyTheElements)
{
    TempSettings settings;
    const QString key = kKey + QStringLiteral("\\Recent");
    ArrayReg array(HKEY_CURRENT_USER, key, 8);
    for (char c = 'a'; c < 'f'; ++c) {
        const QByteArray element(8, c);
        EXPECT_EQ(array.Add(element.constData(), 8), c - 'a');
    }
    ASSERT_TRUE(array.Write());
    array.RemoveAt(4);
    array.RemoveAt(3);
    array.RemoveAt(7); // past the end: nothing happens
    ASSERT_EQ(array.GetCount(), 3);
    ASSERT_TRUE(array.Write());

    HKEY hkey = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, key, KEY_READ, &hkey), ERROR_SUCCESS);
    QStringList names;
    QString name;
    DWORD size = 0;
    for (DWORD i = 0; RegEnumValue(hkey, i, &name, 256, nullptr, nullptr, &size) == ERROR_SUCCESS;
         ++i) {
        names << name;
        EXPECT_EQ(size, 8u);
    }
    RegCloseKey(hkey);
    EXPECT_EQ(names, (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));

    ArrayReg loaded(HKEY_CURRENT_USER, key, 8);
    ASSERT_TRUE(loaded.Read());
    ASSERT_EQ(loaded.GetCount(), 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(loaded.GetAt(2)), 8), QByteArray(8, 'c'));
}

TEST(ArrayReg, RefusesWrongSizesAndIndices)
{
    TempSettings settings;
    ArrayReg array(HKEY_CURRENT_USER, kKey + QStringLiteral("\\A"), 4);
    const char four[4] = {1, 2, 3, 4};
    const char five[5] = {};
    EXPECT_EQ(array.Add(five, 5), -1);
    EXPECT_EQ(array.Add(nullptr, 4), -1);
    EXPECT_EQ(array.GetCount(), 0);
    ASSERT_EQ(array.Add(four, 4), 0);
    EXPECT_FALSE(array.SetAt(1, four, 4)) << "past the last element";
    EXPECT_FALSE(array.SetAt(0, five, 5));
    EXPECT_FALSE(array.SetAt(0, nullptr, 4));
    array.InsertAt(0, five, 5);
    EXPECT_EQ(array.GetCount(), 1);
    EXPECT_THROW(array.SetAt(-1, four, 4), std::invalid_argument);
    EXPECT_THROW(array.GetAt(-1), std::out_of_range);
    EXPECT_THROW(array.GetAt(1), std::out_of_range);

    // Without its key a read fails and keeps the elements.
    EXPECT_FALSE(array.Read());
    EXPECT_EQ(array.GetCount(), 1);
}

TEST(ArrayStringReg, TextsOfOneStoredSize)
{
    TempSettings settings;
    const QString key = kKey + QStringLiteral("\\Names");
    ArrayStringReg names(HKEY_CURRENT_USER, key, 16);
    EXPECT_EQ(names.Add(QStringLiteral("one")), 0);
    EXPECT_EQ(names.Add(QString()), -1) << "a missing text";
    EXPECT_EQ(names.Add(QString::fromUtf8("zwei \xC3\xA4")), 1);
    EXPECT_EQ(names.Add(QStringLiteral("a much longer text")), 2);
    names.InsertAt(0, QStringLiteral("zero"), 16);
    names.InsertAt(0, QStringLiteral("wrong size"), 8);
    EXPECT_FALSE(names.SetAt(9, QStringLiteral("x"), 16));
    ASSERT_TRUE(names.Write());

    DWORD type = 0;
    const QByteArray stored = Stored(HKEY_CURRENT_USER, key, QStringLiteral("0"), &type);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(stored, QByteArray("z\0e\0r\0o\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));

    ArrayStringReg loaded(HKEY_CURRENT_USER, key, 16);
    ASSERT_TRUE(loaded.Read());
    ASSERT_EQ(loaded.GetCount(), 4);
    EXPECT_EQ(loaded.GetAt(0), u"zero");
    EXPECT_EQ(loaded.GetAt(2), QString::fromUtf8("zwei \xC3\xA4"));
    EXPECT_EQ(loaded.GetAt(3), u"a much l") << "16 bytes hold eight characters";
}

} // namespace
