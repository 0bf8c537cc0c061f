#include "MenuRegistry.h"

#include <QAction>
#include <QMenu>

namespace qb::ui {

namespace {
constexpr const char* kOrderProperty = "qbMenuOrder";
constexpr int kDisableMessages = 10; // option "disable the message system"

bool messagesShown(const MenuContext& c)
{
    return !c.admin && !c.option(kDisableMessages);
}
bool adminOnly(const MenuContext& c)
{
    return c.admin;
}
} // namespace

MenuRegistry::MenuRegistry(QObject* parent) : QObject(parent) {}

void MenuRegistry::attach(MenuPlace place, QMenu* menu)
{
    m_menus[place] = menu;
    // Greyed items say why in their tooltip.
    menu->setToolTipsVisible(true);
}

QMenu* MenuRegistry::menu(MenuPlace place) const
{
    auto it = m_menus.find(place);
    return it == m_menus.end() ? nullptr : it->second.data();
}

void MenuRegistry::insertOrdered(MenuPlace place, int order, QAction* action)
{
    QMenu* m = menu(place);
    if (!m)
        return;
    action->setProperty(kOrderProperty, order);
    QAction* before = nullptr;
    for (QAction* a : m->actions()) {
        const QVariant o = a->property(kOrderProperty);
        if (o.isValid() && o.toInt() > order) {
            before = a;
            break;
        }
    }
    m->insertAction(before, action);
}

void MenuRegistry::place(MenuPlace where, int order, QAction* action)
{
    QMenu* m = menu(where);
    if (m && m->actions().contains(action))
        m->removeAction(action);
    insertOrdered(where, order, action);
}

QAction* MenuRegistry::install(MenuItem item)
{
    QMenu* m = menu(item.place);
    if (!m)
        return nullptr;
    Entry& entry = m_entries[item.key];
    QAction* a = entry.action;
    if (a && entry.item.place != item.place) {
        // Moved to another place: a new action there.
        delete a;
        a = nullptr;
    }
    if (!a) {
        a = new QAction(m);
        insertOrdered(item.place, item.order, a);
        const std::string key = item.key;
        connect(a, &QAction::triggered, this, [this, key] {
            auto it = m_entries.find(key);
            if (it != m_entries.end() && it->second.item.run)
                it->second.item.run(context());
        });
    }
    a->setText(item.text);
    a->setShortcut(item.shortcut);
    if (!item.objectName.isEmpty())
        a->setObjectName(item.objectName);
    a->setToolTip(item.run ? QString() : QString::fromLatin1(kNotInThisVersion));
    entry.item = std::move(item);
    entry.action = a;
    apply(entry, context());
    return a;
}

QAction* MenuRegistry::action(const std::string& key) const
{
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second.action.data();
}

MenuContext MenuRegistry::context() const
{
    return m_source ? m_source() : MenuContext {};
}

void MenuRegistry::apply(Entry& entry, const MenuContext& ctx)
{
    QAction* a = entry.action;
    if (!a)
        return;
    const MenuItem& item = entry.item;
    a->setVisible(!item.visible || item.visible(ctx));
    a->setEnabled(item.run && (!item.enabled || item.enabled(ctx)));
}

void MenuRegistry::refresh()
{
    const MenuContext ctx = context();
    for (auto& [key, entry] : m_entries)
        apply(entry, ctx);
}

void MenuRegistry::refresh(MenuPlace place)
{
    const MenuContext ctx = context();
    for (auto& [key, entry] : m_entries)
        if (entry.item.place == place)
            apply(entry, ctx);
}

void MenuRegistry::popup(MenuPlace place, QPoint at)
{
    refresh(place);
    if (QMenu* m = menu(place))
        m->popup(at);
}

void installLaterWork(MenuRegistry& menus)
{
    using P = MenuPlace;
    namespace o = menuorder;
    namespace k = menukey;
    const auto str = [](const char* t) { return QString::fromLatin1(t); };
    menus.install({k::kReadMessages, P::Actions, o::kReadMessages, str("&Read Message(s)"),
                   QKeySequence(Qt::CTRL | Qt::Key_R), {},
                   [](const MenuContext& c) { return !c.loggedIn || messagesShown(c); }, {}, {}});
    menus.install({k::kAddName, P::Actions, o::kAddName, str("Add &Name"), QKeySequence(Qt::CTRL | Qt::Key_N), {},
                   [](const MenuContext& c) { return c.loggedIn && c.admin; }, {}, {}});
    menus.install({k::kOptions, P::Options, o::kOptions, str("O&ptions..."), {}, {}, {}, {}, {}});
    menus.install({k::kPopupSendMessage, P::NamePopup, o::kPopupSendMessage, str("&Send Message"), {}, {},
                   messagesShown, {}, {}});
    menus.install({k::kPopupReadMessage, P::NamePopup, o::kPopupReadMessage, str("&Read Message"), {}, {},
                   messagesShown, {}, {}});
    menus.install({k::kPopupResetPassword, P::NamePopup, o::kPopupResetPassword, str("Reset &Password"), {}, {},
                   adminOnly, {}, {}});
    menus.install({k::kPopupChangeName, P::NamePopup, o::kPopupChangeName, str("&Change Name"), {}, {}, adminOnly,
                   {}, {}});
    menus.install({k::kPopupRemoveName, P::NamePopup, o::kPopupRemoveName, str("Remove Name"), {}, {}, adminOnly,
                   {}, {}});
    menus.install({k::kTrayReadMessages, P::Tray, o::kTrayReadMessages, str("&Read Message(s)"), {}, {}, {}, {}, {}});
    menus.install({k::kTrayOptions, P::Tray, o::kTrayOptions, str("O&ptions"), {}, {}, {}, {}, {}});
}

} // namespace qb::ui
