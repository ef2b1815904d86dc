#include "cleanup/association_restore.h"

#include <gtest/gtest.h>

#include <string>

#include "cleanup/registry_and_shell_helpers.h"
#include "support/test_support.h"

using namespace cleanup_testing;

namespace {

const std::wstring kStore = L"Software\\Quellmoor\\FileExts";
const std::wstring kClasses = L"Software\\Classes";
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// The registry root the restore is given is a key of its own inside the
// sandbox, apart from the sandboxed HKEY_CURRENT_USER where the Explorer keys
// live: that shows which root each key is taken from.
class AssociationRestore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Root", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
        CreateKey(root_, kClasses);
    }
    void TearDown() override { RegCloseKey(root_); }

    HKEY OpenBackup(const std::wstring& extension) {
        HKEY key = nullptr;
        RegCreateKeyExW(root_, (kStore + L"\\" + extension).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        return key;
    }

    testing_support::RegistrySandbox sandbox_;
    HKEY root_ = nullptr;
};

}  // namespace

TEST_F(AssociationRestore, RestoresEveryBackedUpExtensionAndEmptiesTheStore) {
    // .abc: the client replaced a ProgID; the backup holds all three values.
    SetStringValue(root_, kStore + L"\\.abc", L"KivBackupShortCut", L"abcfile");
    SetStringValue(root_, kStore + L"\\.abc", L"KivBackupProgid", L"Abc.Document");
    SetStringValue(root_, kStore + L"\\.abc", L"KivBackupApplication", L"abcview.exe");
    SetStringValue(root_, kClasses + L"\\.abc", nullptr, L"KIVShortCut.abc");
    SetStringValue(root_, kClasses + L"\\.abc", L"Content Type", L"text/abc");
    SetStringValue(root_, kClasses + L"\\KIVShortCut.abc\\shell\\open\\command", nullptr, L"x");
    SetStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.abc", L"Progid", L"KIVShortCut.abc");
    // The same Explorer path below the given root is not the current user's.
    SetStringValue(root_, kExplorer + L"\\.abc", L"Progid", L"untouched");

    // .sub: its backup key has a subkey of its own and cannot be deleted.
    SetStringValue(root_, kStore + L"\\.sub", L"KivBackupShortCut", L"subfile");
    CreateKey(root_, kStore + L"\\.sub\\extra");
    CreateKey(root_, kClasses + L"\\KIVShortCut.sub");

    // .xyz: the extension had no key before; the client's ProgID has subkeys.
    SetStringValue(root_, kStore + L"\\.xyz", L"KivBackupShortCut", L"");
    SetStringValue(root_, kStore + L"\\.xyz", L"KivBackupProgid", L"Xyz.Old");
    SetStringValue(root_, kClasses + L"\\.xyz\\OpenWithProgids", L"KIVShortCut.xyz", L"");
    SetStringValue(root_, kClasses + L"\\KIVShortCut.xyz\\DefaultIcon", nullptr, L"i.ico");
    SetStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.xyz", L"Progid", L"KIVShortCut.xyz");
    SetStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.xyz", L"Application", L"keep.exe");

    SetStringValue(root_, kClasses + L"\\.other", nullptr, L"otherfile");

    // .own: no association before either, but other programs keep entries in
    // the extension's key; only the client's go.
    SetStringValue(root_, kStore + L"\\.own", L"KivBackupShortCut", L"");
    SetStringValue(root_, kClasses + L"\\.own", nullptr, L"KIVShortCut.own");
    SetStringValue(root_, kClasses + L"\\.own\\OpenWithProgids", L"KIVShortCut.own", L"");
    SetStringValue(root_, kClasses + L"\\.own\\OpenWithProgids", L"Other.Own", L"");
    SetStringValue(root_, kClasses + L"\\.own\\ShellNew", L"NullFile", L"");

    // .new and .old: another program took the file type over after the
    // client; its registration stays, whatever the backup holds.
    SetStringValue(root_, kStore + L"\\.new", L"KivBackupShortCut", L"");
    SetStringValue(root_, kClasses + L"\\.new", nullptr, L"Other.New");
    SetStringValue(root_, kClasses + L"\\.new\\ShellNew", L"NullFile", L"");
    SetStringValue(root_, kStore + L"\\.old", L"KivBackupShortCut", L"oldfile");
    SetStringValue(root_, kClasses + L"\\.old", nullptr, L"Other.Old");
    CreateKey(root_, kClasses + L"\\KIVShortCut.old");
    SetStringValue(root_, kStore + L"\\.old", L"KivBackupProgid", L"Old.Progid");
    SetStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.old", L"Progid", L"Other.Old");

    EXPECT_EQ(RestoreAllFileAssociations(root_), ERROR_SUCCESS);
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.new", nullptr), L"Other.New");
    EXPECT_TRUE(KeyExists(root_, kClasses + L"\\.new\\ShellNew"));
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.old", nullptr), L"Other.Old");
    EXPECT_FALSE(KeyExists(root_, kClasses + L"\\KIVShortCut.old"));
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.old", L"Progid"), L"Other.Old");

    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.abc", nullptr), L"abcfile");
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.abc", L"Content Type"), L"text/abc");
    EXPECT_FALSE(KeyExists(root_, kClasses + L"\\KIVShortCut.abc"));
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.abc", L"Progid"),
              L"Abc.Document");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.abc", L"Application"),
              L"abcview.exe");
    EXPECT_EQ(ReadStringValue(root_, kExplorer + L"\\.abc", L"Progid"), L"untouched");

    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.sub", nullptr), L"subfile");
    EXPECT_FALSE(KeyExists(root_, kClasses + L"\\KIVShortCut.sub"));

    EXPECT_FALSE(KeyExists(root_, kClasses + L"\\.xyz"));
    EXPECT_FALSE(KeyExists(root_, kClasses + L"\\KIVShortCut.xyz"));
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.xyz", L"Progid"), L"Xyz.Old");
    // No Application backup: the current value stays.
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.xyz", L"Application"),
              L"keep.exe");

    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.other", nullptr), L"otherfile");
    EXPECT_FALSE(ValueExists(root_, kClasses + L"\\.own", nullptr));
    EXPECT_FALSE(ValueExists(root_, kClasses + L"\\.own\\OpenWithProgids", L"KIVShortCut.own"));
    EXPECT_TRUE(ValueExists(root_, kClasses + L"\\.own\\OpenWithProgids", L"Other.Own"));
    EXPECT_TRUE(KeyExists(root_, kClasses + L"\\.own\\ShellNew"));
    // Only the backup that has a subkey is left; the store key stays.
    EXPECT_EQ(SubkeyNames(root_, kStore), std::vector<std::wstring>{L".sub"});

    // A second run finds the leftover again and ends as well.
    EXPECT_EQ(RestoreAllFileAssociations(root_), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(root_, kStore), std::vector<std::wstring>{L".sub"});

    RegDeleteTreeW(root_, (kStore + L"\\.sub").c_str());
    EXPECT_EQ(RestoreAllFileAssociations(root_), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(root_, kStore));
    EXPECT_TRUE(SubkeyNames(root_, kStore).empty());

    RegDeleteTreeW(root_, L"Software\\Quellmoor");
    EXPECT_EQ(RestoreAllFileAssociations(root_), ERROR_FILE_NOT_FOUND);
}

TEST_F(AssociationRestore, ExplorerValuesAreRestoredOnlyFromWellFormedStrings) {
    const std::wstring explorer = kExplorer + L"\\.lnq";
    auto reset = [&] {
        RegDeleteTreeW(root_, kStore.c_str());
        SetStringValue(HKEY_CURRENT_USER, explorer, L"Progid", L"KIVShortCut.lnq");
        SetStringValue(HKEY_CURRENT_USER, explorer, L"Application", L"client.exe");
    };
    const std::wstring backupPath = kStore + L"\\.lnq";

    // Odd byte length: "Progid" keeps its value, its backup stays, and the
    // Application stage still runs.
    reset();
    {
        HKEY backup = OpenBackup(L".lnq");
        SetRawValue(backup, L"", L"KivBackupProgid", REG_SZ, L"Old\0", 5);
        SetStringValue(backup, L"", L"KivBackupApplication", L"old.exe");
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_SUCCESS);
        RegCloseKey(backup);
    }
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Progid"), L"KIVShortCut.lnq");
    EXPECT_TRUE(ValueExists(root_, backupPath, L"KivBackupProgid"));
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Application"), L"old.exe");
    EXPECT_FALSE(ValueExists(root_, backupPath, L"KivBackupApplication"));

    // Data without a closing NUL, and a value of another type, are not usable;
    // for the Application stage that is ERROR_INVALID_DATA. (The character
    // after the stored data is not a NUL: RegSetValueExW would otherwise count
    // a NUL that the caller left out, as Windows does.)
    reset();
    {
        HKEY backup = OpenBackup(L".lnq");
        SetRawValue(backup, L"", L"KivBackupProgid", REG_SZ, L"Oldx", 6);
        const DWORD number = 7;
        SetRawValue(backup, L"", L"KivBackupApplication", REG_DWORD, &number, sizeof(number));
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_INVALID_DATA);
        SetRawValue(backup, L"", L"KivBackupApplication", REG_SZ, L"abcd", 6);
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_INVALID_DATA);
        SetRawValue(backup, L"", L"KivBackupApplication", REG_EXPAND_SZ, L"ab\0", 5);
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_INVALID_DATA);
        RegCloseKey(backup);
    }
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Progid"), L"KIVShortCut.lnq");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Application"), L"client.exe");
    EXPECT_TRUE(ValueExists(root_, backupPath, L"KivBackupApplication"));

    // Zero bytes is the empty text; an expandable string is written back as
    // stored; a missing Application backup reports ERROR_FILE_NOT_FOUND after
    // Progid was restored.
    reset();
    {
        HKEY backup = OpenBackup(L".lnq");
        SetRawValue(backup, L"", L"KivBackupProgid", REG_SZ, L"", 0);
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Progid"), L"");
        EXPECT_FALSE(ValueExists(root_, backupPath, L"KivBackupProgid"));

        const std::wstring expandable = L"%ProgramFiles%\\v.exe";
        SetRawValue(backup, L"", L"KivBackupApplication", REG_EXPAND_SZ, expandable.c_str(),
                    static_cast<DWORD>((expandable.size() + 1) * 2));
        EXPECT_EQ(RestoreExplorerFileExts(L".lnq", backup), ERROR_SUCCESS);
        EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, explorer, L"Application"), expandable);
        RegCloseKey(backup);
    }

    // A missing Explorer key is not created and nothing is restored.
    reset();
    {
        HKEY backup = OpenBackup(L".none");
        SetStringValue(backup, L"", L"KivBackupProgid", L"P");
        SetStringValue(backup, L"", L"KivBackupApplication", L"A");
        EXPECT_EQ(RestoreExplorerFileExts(L".none", backup), ERROR_FILE_NOT_FOUND);
        RegCloseKey(backup);
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kExplorer + L"\\.none"));
    EXPECT_EQ(ValueNames(root_, kStore + L"\\.none").size(), 2u);
}

TEST_F(AssociationRestore, ExplorerValuesComeBackWhateverBecameOfTheProgId) {
    // No client ProgID key: the Classes default is restored, the result is
    // ERROR_FILE_NOT_FOUND, and the Explorer values are restored all the same
    // (the backup key goes next, and with it the only copy of them).
    SetStringValue(root_, kStore + L"\\.q1", L"KivBackupShortCut", L"q1file");
    SetStringValue(root_, kStore + L"\\.q1", L"KivBackupProgid", L"Q1.Old");
    SetStringValue(root_, kStore + L"\\.q1", L"KivBackupApplication", L"q1.exe");
    SetStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.q1", L"Progid", L"KIVShortCut.q1");
    EXPECT_EQ(RestoreFileAssociation(root_, L".q1"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.q1", nullptr), L"q1file");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.q1", L"Progid"), L"Q1.Old");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer + L"\\.q1", L"Application"), L"q1.exe");
    EXPECT_EQ(ValueNames(root_, kStore + L"\\.q1"),
              std::vector<std::wstring>{L"KivBackupShortCut"});

    // A saved default that is there but not a string says nothing of the
    // earlier association: the extension's key and its values stay.
    const DWORD types[] = {REG_MULTI_SZ, REG_BINARY, REG_DWORD};
    for (const DWORD type : types) {
        SetRawValue(root_, kStore + L"\\.q4", L"KivBackupShortCut", type, "\x41\0\0\0", 4);
        SetStringValue(root_, kClasses + L"\\.q4", nullptr, L"UserChoice.q4");
        SetStringValue(root_, kClasses + L"\\.q4\\ShellNew", L"NullFile", L"");
        CreateKey(root_, kClasses + L"\\KIVShortCut.q4");
        HKEY backup = OpenBackup(L".q4");
        EXPECT_EQ(RestoreClassesAssociation(root_, L".q4", backup), ERROR_SUCCESS) << type;
        RegCloseKey(backup);
        EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.q4", nullptr), L"UserChoice.q4") << type;
        EXPECT_TRUE(KeyExists(root_, kClasses + L"\\.q4\\ShellNew")) << type;
        EXPECT_FALSE(KeyExists(root_, kClasses + L"\\KIVShortCut.q4")) << type;
    }

    // A saved default longer than 259 characters is restored whole, not taken
    // as empty (which would delete the extension's key).
    const std::wstring longProgId(400, L'P');
    SetStringValue(root_, kStore + L"\\.q2", L"KivBackupShortCut", longProgId);
    SetStringValue(root_, kClasses + L"\\.q2", L"keep", L"1");
    CreateKey(root_, kClasses + L"\\KIVShortCut.q2");
    {
        HKEY backup = OpenBackup(L".q2");
        EXPECT_EQ(RestoreClassesAssociation(root_, L".q2", backup), ERROR_SUCCESS);
        RegCloseKey(backup);
    }
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.q2", nullptr), longProgId);
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.q2", L"keep"), L"1");

    // A root without Software\Classes: the open fails and nothing is created.
    HKEY bare = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Bare", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bare,
                    nullptr);
    SetStringValue(bare, kStore + L"\\.q3", L"KivBackupShortCut", L"q3file");
    EXPECT_EQ(RestoreFileAssociation(bare, L".q3"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(KeyExists(bare, kClasses));
    RegCloseKey(bare);
}

TEST_F(AssociationRestore, RefusesExtensionsThatNameOtherKeys) {
    // An empty extension would make the Classes key itself the one deleted.
    SetStringValue(root_, kClasses + L"\\.keep", nullptr, L"keepfile");
    SetStringValue(root_, kClasses + L"\\.keep\\sub", nullptr, L"x");
    SetStringValue(HKEY_CURRENT_USER, kExplorer, L"Progid", L"kept");
    HKEY backup = OpenBackup(L".any");
    for (const wchar_t* extension : {L"", L".keep\\sub"}) {
        EXPECT_EQ(RestoreFileAssociation(root_, extension), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RestoreClassesAssociation(root_, extension, backup), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RestoreExplorerFileExts(extension, backup), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(RestoreFileAssociation(root_, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(backup);
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.keep", nullptr), L"keepfile");
    EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\.keep\\sub", nullptr), L"x");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, kExplorer, L"Progid"), L"kept");
    EXPECT_EQ(SubkeyNames(root_, kStore), std::vector<std::wstring>{L".any"});

    // Backups named like other keys of Software\Classes, none with a saved
    // default: those keys stay, the backups go.
    for (const wchar_t* name : {L"CLSID", L"*", L"Directory", L"txtfile", L"."}) {
        SetStringValue(root_, kClasses + L"\\" + name + L"\\shell", nullptr, L"open");
        RegCloseKey(OpenBackup(name));
    }
    EXPECT_EQ(RestoreAllFileAssociations(root_), ERROR_SUCCESS);
    for (const wchar_t* name : {L"CLSID", L"*", L"Directory", L"txtfile", L"."}) {
        EXPECT_EQ(ReadStringValue(root_, kClasses + L"\\" + name + L"\\shell", nullptr), L"open")
            << testing_support::ToUtf8(name);
    }
    EXPECT_TRUE(SubkeyNames(root_, kStore).empty());
}
