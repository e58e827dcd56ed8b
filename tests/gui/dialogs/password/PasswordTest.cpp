// Password protection: the prompt window, the set-password window and what they leave
// in the real options file, offscreen.

#include "app/PasswordPrompt.h"
#include "app/ProgramObjects.h"
#include "app/ProgramOptions.h"
#include "settings/IniDocument.h"
#include "settings/modEncryption.h"
#include "tests/support/WidgetTestSupport.h"
#include "ui/dialogs/password/frmEnterPassword.h"
#include "ui/dialogs/password/frmSetPassword.h"

#include <QLineEdit>

using namespace kestrow;
using namespace kestrow::test;
using gui::frmEnterPassword;
using gui::frmSetPassword;

namespace {

class PasswordTest : public ModalDialogTest
{
protected:
    PasswordTest()
    {
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        gblnPasswordOK = false;
        InstallPasswordCodec();
        frmEnterPassword::InstallAsPasswordWindow();
    }
    ~PasswordTest() override
    {
        setPasswordWindow({});
        setPasswordCodec({}, {});
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        gblnPasswordOK = false;
    }

    void protectWith(const std::string& password)
    {
        gblnPasswordSet = true;
        gstrAdminPassword = password;
    }

    // AdminPassword as the options file holds it; nullopt when the key is missing.
    std::optional<std::string> storedPassword() const
    {
        int err = 0;
        const IniDocument ini = IniDocument::load(OptionsFileSpec(), err);
        EXPECT_EQ(err, 0);
        return ini.value("Miscellaneous", "AdminPassword");
    }

    // A start of the program as far as the password goes: the options file read anew.
    void restart()
    {
        gblnPasswordSet = false;
        gstrAdminPassword.clear();
        ProgramObjects objects;
        ASSERT_TRUE(ReadProgramOptionsFromIniFile());
    }

    // Types `attempts` one after the other into the next prompt, pressing OK after
    // each; cancels when they are used up (if the window is still open). Records
    // what happened after each attempt.
    void answerPrompt(std::vector<std::string> attempts)
    {
        onModal<frmEnterPassword>([this, attempts](frmEnterPassword* prompt) {
            promptTitle = s(prompt->windowTitle());
            openWhilePrompting = frmEnterPassword::IsEnterPasswordWindowOpen();
            auto* box = prompt->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
            echoMode = box->echoMode();
            for (const std::string& attempt : attempts) {
                box->clear();
                box->setText(q(attempt));
                click(prompt, "cmdOK");
                if (!prompt->isVisible())
                    return;
                stillOpenAfter.push_back(attempt);
                selectedAfter.push_back(s(box->selectedText()));
            }
            click(prompt, "cmdCancel");
        });
    }

    std::string promptTitle;
    bool openWhilePrompting = false;
    QLineEdit::EchoMode echoMode = QLineEdit::Normal;
    std::vector<std::string> stillOpenAfter;
    std::vector<std::string> selectedAfter;
};

TEST_F(PasswordTest, WithoutAPasswordThePromptAnswersAtOnce)
{
    onModal<frmEnterPassword>([](frmEnterPassword* prompt) { prompt->close(); });
    EXPECT_TRUE(PasswordPrompt());
    EXPECT_EQ(modalsHandled, 0);
    EXPECT_FALSE(frmEnterPassword::IsEnterPasswordWindowOpen());
}

TEST_F(PasswordTest, AWrongPasswordIsRefusedAsOftenAsItIsTriedThenTheRightOneOpens)
{
    protectWith("Kestrel-42");
    answerPrompt({"kestrel-42", "Kestrel-42 ", "nope", "Kestrel-42"});
    EXPECT_TRUE(PasswordPrompt());
    EXPECT_TRUE(gblnPasswordOK);
    EXPECT_EQ(promptTitle, "Enter Kestrow Password");
    EXPECT_EQ(echoMode, QLineEdit::Password);
    EXPECT_TRUE(openWhilePrompting);
    EXPECT_FALSE(frmEnterPassword::IsEnterPasswordWindowOpen());
    EXPECT_EQ(stillOpenAfter, (std::vector<std::string>{"kestrel-42", "Kestrel-42 ", "nope"}))
        << "letter case and blanks count; there is no limit on attempts";
    EXPECT_EQ(selectedAfter, stillOpenAfter) << "the wrong entry is selected for typing over";
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 3u);
    for (const RecordedPrompt& message : shown) {
        EXPECT_EQ(message.title, "Invalid Password");
        EXPECT_EQ(message.text, "Invalid Password.  Please try again.\n\nSee Administrator for assistance.");
        EXPECT_EQ(message.icon, MsgIcon::Exclamation);
    }
}

TEST_F(PasswordTest, BothWindowsHaveTheProgramsIconWithoutAParent)
{
    // The prompt is often the only window on screen (the main window hidden).
    const frmEnterPassword prompt;
    const frmSetPassword set;
    EXPECT_FALSE(prompt.windowIcon().isNull());
    EXPECT_FALSE(set.windowIcon().isNull());
}

TEST_F(PasswordTest, CancelKeepsTheWindowLocked)
{
    protectWith("Kestrel-42");
    gblnPasswordOK = true; // from an earlier prompt: never remembered
    answerPrompt({});
    EXPECT_FALSE(PasswordPrompt());
    EXPECT_FALSE(gblnPasswordOK);
    EXPECT_EQ(modalsHandled, 1);
    EXPECT_TRUE(messages().empty());
}

TEST_F(PasswordTest, ClosingThePromptWindowIsACancel)
{
    protectWith("Kestrel-42");
    onModal<frmEnterPassword>([](frmEnterPassword* prompt) {
        prompt->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("Kestrel-42"));
        prompt->close();
    });
    EXPECT_FALSE(PasswordPrompt());
}

TEST_F(PasswordTest, WithoutAWindowASetPasswordCannotBeEntered)
{
    setPasswordWindow({});
    protectWith("Kestrel-42");
    EXPECT_FALSE(PasswordPrompt());
}

// Entries of the set-password window and what OK makes of them.
struct SetRow
{
    const char* name;
    std::string first;
    std::string confirmation;
    const char* title;
    const char* text;
    MsgIcon icon;
    const char* stored; // the password set; nullptr when refused
};

// Rows print as their names.
void PrintTo(const SetRow& row, std::ostream* os)
{
    *os << row.name;
}

class SetPassword : public PasswordTest, public ::testing::WithParamInterface<SetRow>
{
};

TEST_P(SetPassword, OkChecksTheEntries)
{
    const SetRow& row = GetParam();
    frmSetPassword window;
    window.show();
    auto* first = window.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"));
    auto* second = window.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"));
    first->setText(q(row.first));
    second->setText(q(row.confirmation));
    click(&window, "cmdOK");

    const auto shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, row.title);
    EXPECT_EQ(shown[0].text, row.text);
    EXPECT_EQ(shown[0].icon, row.icon);
    if (row.stored) {
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(gblnPasswordSet);
        EXPECT_EQ(gstrAdminPassword, row.stored);
        EXPECT_EQ(storedPassword(), ScramblePassword(row.stored));
    } else {
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(first->text().isEmpty());
        EXPECT_TRUE(second->text().isEmpty());
        EXPECT_EQ(window.focusWidget(), first) << "the first box has the focus";
        EXPECT_FALSE(gblnPasswordSet);
        EXPECT_EQ(storedPassword(), std::nullopt) << "nothing written";
    }
}

constexpr const char* kTooShort = "Passwords must be at least 5 characters long.";
constexpr const char* kMismatch = "The two passwords do not match.  Please reenter the two passwords.";
constexpr const char* kValid =
    "Password has been successfully set.\n\n"
    "You should store your password in a safe location so that you don't forget it.";

INSTANTIATE_TEST_SUITE_P(
    Entries, SetPassword,
    ::testing::Values(SetRow{"FourCharactersRefused", "abcd", "abcd", "Invalid Password", kTooShort,
                             MsgIcon::Information, nullptr},
                      SetRow{"FourAfterTrimmingRefused", "  abcd  ", "abcd", "Invalid Password", kTooShort,
                             MsgIcon::Information, nullptr},
                      SetRow{"FourUtf8CharactersRefused", "äöüß", "äöüß", "Invalid Password", kTooShort,
                             MsgIcon::Information, nullptr},
                      SetRow{"EmptyRefused", "", "", "Invalid Password", kTooShort, MsgIcon::Information,
                             nullptr},
                      SetRow{"MismatchRefused", "abcde", "abcdE", "Invalid Password", kMismatch,
                             MsgIcon::Exclamation, nullptr},
                      SetRow{"FiveCharactersAccepted", "abcde", "abcde", "Valid Password", kValid,
                             MsgIcon::Information, "abcde"},
                      SetRow{"StoredTrimmed", "  open sesame ", "open sesame", "Valid Password", kValid,
                             MsgIcon::Information, "open sesame"},
                      SetRow{"Utf8Accepted", "Größe 密码", "Größe 密码", "Valid Password", kValid,
                             MsgIcon::Information, "Größe 密码"}),
    [](const ::testing::TestParamInfo<SetRow>& info) { return std::string(info.param.name); });

TEST_F(PasswordTest, SetWindowShowsTheCurrentPasswordAndTheTurnOffButtonOnlyWhileProtected)
{
    frmSetPassword unprotected;
    EXPECT_EQ(s(unprotected.windowTitle()), "Set/Change Password");
    auto* offButton = unprotected.findChild<QPushButton*>(QStringLiteral("cmdTurnOffProtection"));
    EXPECT_EQ(s(offButton->text()), "Turn Off Password Protection");
    EXPECT_FALSE(offButton->isEnabled());
    EXPECT_TRUE(unprotected.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->text().isEmpty());

    protectWith("Kestrel-42");
    frmSetPassword protectedWindow;
    protectedWindow.show();
    unprotected.show();
    EXPECT_TRUE(protectedWindow.findChild<QPushButton*>(QStringLiteral("cmdTurnOffProtection"))->isEnabled());
    EXPECT_TRUE(protectedWindow.findChild<QPushButton*>(QStringLiteral("cmdTurnOffProtection"))->isVisible());
    EXPECT_FALSE(offButton->isVisible());
    EXPECT_EQ(protectedWindow.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->text(),
              QStringLiteral("Kestrel-42"));
    EXPECT_EQ(protectedWindow.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->text(),
              QStringLiteral("Kestrel-42"));
    EXPECT_EQ(protectedWindow.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->echoMode(),
              QLineEdit::Password);
    EXPECT_GT(protectedWindow.height(), unprotected.height()) << "the taller layout";
}

TEST_F(PasswordTest, TurningProtectionOffWritesAnEmptyValueAndTheNextStartAsksNothing)
{
    frmSetPassword setter;
    setter.show();
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->setText(QStringLiteral("Kestrel-42"));
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->setText(QStringLiteral("Kestrel-42"));
    click(&setter, "cmdOK");
    ASSERT_TRUE(gblnPasswordSet);
    const std::optional<std::string> scrambled = storedPassword();
    ASSERT_TRUE(scrambled && !scrambled->empty());
    EXPECT_EQ(dir.readFile("data/kestrow.ini").find("Kestrel"), std::string::npos) << "never in clear text";

    restart();
    EXPECT_TRUE(gblnPasswordSet) << "the next start is protected";
    EXPECT_EQ(gstrAdminPassword, "Kestrel-42");

    ui.clear();
    frmSetPassword window;
    window.show();
    click(&window, "cmdTurnOffProtection");
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Password Protection Off");
    EXPECT_EQ(shown[0].text, "Password protection has been turned off.");
    EXPECT_EQ(shown[0].icon, MsgIcon::Information);
    EXPECT_TRUE(window.isVisible()) << "the window stays open";
    EXPECT_TRUE(window.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->text().isEmpty());
    EXPECT_TRUE(window.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->text().isEmpty());
    EXPECT_FALSE(gblnPasswordSet);
    EXPECT_EQ(gstrAdminPassword, "");
    EXPECT_EQ(storedPassword(), std::string());

    restart();
    EXPECT_FALSE(gblnPasswordSet);
    onModal<frmEnterPassword>([](frmEnterPassword* prompt) { prompt->close(); });
    EXPECT_TRUE(PasswordPrompt());
    EXPECT_EQ(modalsHandled, 0) << "no prompt after protection was turned off";
}

TEST_F(PasswordTest, CancelInTheSetWindowChangesNothing)
{
    protectWith("Kestrel-42");
    SavePasswordToIni();
    const std::optional<std::string> before = storedPassword();
    frmSetPassword window;
    window.show();
    auto* first = window.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"));
    first->setText(QStringLiteral("another one"));
    window.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->setText(QStringLiteral("another one"));
    click(&window, "cmdCancel");
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(first->text().isEmpty());
    EXPECT_EQ(gstrAdminPassword, "Kestrel-42");
    EXPECT_EQ(storedPassword(), before);
    EXPECT_TRUE(messages().empty());
}

TEST_F(PasswordTest, APasswordSetWithBlanksIsAskedForWithoutThem)
{
    frmSetPassword setter;
    setter.show();
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->setText(QStringLiteral("  falcon  "));
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->setText(QStringLiteral("falcon"));
    click(&setter, "cmdOK");
    restart();
    ui.clear();
    answerPrompt({"  falcon  ", "falcon"});
    EXPECT_TRUE(PasswordPrompt());
    EXPECT_EQ(stillOpenAfter, std::vector<std::string>{"  falcon  "});
}

TEST_F(PasswordTest, AnOptionsFileThatCannotBeWrittenIsReportedAndThePasswordStaysInMemory)
{
    // A folder where the options file should be: neither readable nor writable as a file.
    dir.makeDir("data/kestrow.ini");
    frmSetPassword setter;
    setter.show();
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(0)"))->setText(QStringLiteral("harrier"));
    setter.findChild<QLineEdit*>(QStringLiteral("txtPassword(1)"))->setText(QStringLiteral("harrier"));
    click(&setter, "cmdOK");
    const auto shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Valid Password");
    EXPECT_EQ(shown[1].title, "Unexpected Error in frmSetPassword.SavePasswordToIni");
    EXPECT_TRUE(gblnPasswordSet);
    EXPECT_EQ(gstrAdminPassword, "harrier");
}

} // namespace
