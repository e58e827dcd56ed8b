#include "ui/qt/QtUiServices.h"

#include "ui/qt/QtText.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QThread>

namespace kestrow::gui {

namespace {
// Dialogs live on the application's thread: a call from elsewhere waits there.
template <typename Fn> void onGuiThread(Fn&& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        fn();
    else
        QMetaObject::invokeMethod(app, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}
} // namespace

QWidget* QtUiServices::dialogParent() const
{
    // A minimised window would take its dialogs down with it.
    return m_parent && m_parent->isVisible() && !m_parent->isMinimized() ? m_parent : nullptr;
}

namespace {

bool isListItem(QStringView line)
{
    const QStringView t = line.trimmed();
    if (t.startsWith(u'-') || t.startsWith(u'*') || t.startsWith(u'\u2022'))
        return true;
    qsizetype digits = 0;
    while (digits < t.size() && t[digits].isDigit())
        ++digits;
    return digits > 0 && digits < t.size() && (t[digits] == u')' || t[digits] == u'.');
}

} // namespace

QString ReflowedMessageText(const std::string& text)
{
    const QStringList lines = q(text).split(u'\n');
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (i + 1 < lines.size()) {
            const QString trimmedEnd = line.trimmed();
            const QString& next = lines[i + 1];
            const bool midSentence = !trimmedEnd.isEmpty() && !next.trimmed().isEmpty() &&
                                     !QStringLiteral(".!?:").contains(trimmedEnd.back()) && !isListItem(next);
            if (midSentence) {
                while (line.endsWith(u' '))
                    line.chop(1);
                out += line + u' ';
                continue;
            }
        }
        out += line;
        if (i + 1 < lines.size())
            out += u'\n';
    }
    return out;
}

MsgResult QtUiServices::messageBox(const std::string& title, const std::string& text, MsgIcon icon,
                                   MsgButtons buttons)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread()) {
        MsgResult result = safeAnswer(buttons);
        onGuiThread([&] { result = messageBox(title, text, icon, buttons); });
        return result;
    }
    QMessageBox box(dialogParent());
    box.setWindowTitle(q(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(ReflowedMessageText(text));
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgResult::Ok;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }
}

std::optional<std::string> QtUiServices::inputBox(const std::string& title, const std::string& prompt,
                                                  const std::string& defaultText)
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread()) {
        std::optional<std::string> result;
        onGuiThread([&] { result = inputBox(title, prompt, defaultText); });
        return result;
    }
    bool ok = false;
    const QString text =
        QInputDialog::getText(dialogParent(), q(title), q(prompt), QLineEdit::Normal, q(defaultText), &ok);
    if (!ok)
        return std::nullopt;
    return s(text);
}

void QtUiServices::beep()
{
    onGuiThread([] { QApplication::beep(); });
}

} // namespace kestrow::gui
