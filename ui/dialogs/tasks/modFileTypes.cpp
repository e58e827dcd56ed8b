#include "ui/dialogs/tasks/modFileTypes.h"

#include "base/ErrorReporter.h"
#include "ui/qt/QtText.h"

#include <QApplication>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <map>

namespace kestrow::gui {

namespace {

// A plain extension glob: "*." followed by at least one character and no wildcard.
bool isExtensionGlob(const QString& glob)
{
    if (!glob.startsWith(QLatin1String("*.")) || glob.size() < 3)
        return false;
    const QStringView rest = QStringView(glob).mid(2);
    return !rest.contains(QLatin1Char('*')) && !rest.contains(QLatin1Char('?')) &&
           !rest.contains(QLatin1Char('[')) && !rest.contains(QLatin1Char('.'));
}

class TabStopDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const int tab = text.indexOf(QLatin1Char('\t'));
        const int stop = opt.fontMetrics.averageCharWidth() * 15;
        const QPalette::ColorRole role =
            (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
        painter->save();
        painter->setPen(opt.palette.color(QPalette::Active, role));
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        if (tab < 0) {
            painter->drawText(textRect, flags, text);
        } else {
            QRect first = textRect;
            first.setWidth(std::min(stop, textRect.width()));
            painter->drawText(first, flags, text.left(tab));
            QRect second = textRect;
            second.setLeft(textRect.left() + stop);
            painter->drawText(second, flags, text.mid(tab + 1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += option.fontMetrics.averageCharWidth() * 15;
        return size;
    }
};

} // namespace

std::string GetFileType(const std::string& name)
{
    return Guarded("modFileTypes.GetFileType", std::string(), [&] {
        static const QMimeDatabase database;
        // Only the name counts: nothing is read from disk.
        const QList<QMimeType> types = database.mimeTypesForFileName(q(name));
        if (types.isEmpty())
            return std::string();
        return s(types.front().comment());
    });
}

void LoadFileTypesInListBox(QListWidget* list)
{
    Guarded("modFileTypes.LoadFileTypesInListBox", [&] {
        const QMimeDatabase database;
        // Case-insensitive order and uniqueness.
        std::map<QString, QString> extensions;
        for (const QMimeType& type : database.allMimeTypes())
            for (const QString& glob : type.globPatterns())
                if (isExtensionGlob(glob))
                    extensions.try_emplace(glob.mid(1).toLower(), glob.mid(1));
        // The description is the one GetFileType gives, so the mask lists show the same.
        for (const auto& [key, extension] : extensions) {
            const std::string description = GetFileType("*" + s(extension));
            if (!description.empty())
                list->addItem(extension + QLatin1Char('\t') + q(description));
        }
    });
}

void SetListBoxTabStops(QListWidget* list)
{
    if (!dynamic_cast<TabStopDelegate*>(list->itemDelegate()))
        list->setItemDelegate(new TabStopDelegate(list));
    list->viewport()->update();
}

} // namespace kestrow::gui
