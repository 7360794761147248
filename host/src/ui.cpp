// The user interface: popup menus, text dialogs and save dialogs, all
// answered by the current front-end driver (a scripted one by default).
// Each call is modal: it returns when the driver has answered.
#include "internal.h"

#include <cstdio>
#include <cstring>

struct t_jpopupmenu {
    std::vector<maxhost::MenuItem> items;
};

namespace {

maxhost::UiDriver *driver = nullptr;

maxhost::UiDriver &current()
{
    return driver ? *driver : maxhost::scripted_driver();
}

std::string dialog_text; // what jdialog_showtext hands back, valid until the next call

} // namespace

t_jpopupmenu *jpopupmenu_create(void) { return new t_jpopupmenu(); }

void jpopupmenu_destroy(t_jpopupmenu *menu) { delete menu; }

void jpopupmenu_additem(t_jpopupmenu *menu, int itemid, const char *utf8Text, t_jrgba *textColor, int checked,
                        int disabled, t_jsurface *icon)
{
    (void)textColor;
    (void)icon;
    if (!menu)
        return;
    maxhost::MenuItem item;
    item.id = itemid;
    item.text = utf8Text ? utf8Text : "";
    item.checked = checked != 0;
    item.disabled = disabled != 0;
    menu->items.push_back(item);
}

void jpopupmenu_addseperator(t_jpopupmenu *menu)
{
    if (!menu)
        return;
    maxhost::MenuItem item;
    item.separator = true;
    menu->items.push_back(item);
}

void jpopupmenu_addseparator(t_jpopupmenu *menu) { jpopupmenu_addseperator(menu); }

int jpopupmenu_popup(t_jpopupmenu *menu, t_pt screen, int defitemid)
{
    (void)defitemid;
    mh_check_main_thread("jpopupmenu_popup");
    if (!menu)
        return 0;
    int id = current().popup_menu(menu->items, (long)screen.x, (long)screen.y);
    // Only an enabled item of this menu counts as a choice.
    for (const maxhost::MenuItem &item : menu->items)
        if (!item.separator && !item.disabled && item.id == id)
            return id;
    return 0;
}

long jdialog_showtext(const char *prompt, const char *deftext, long flags, const char **text)
{
    (void)flags;
    std::string answer;
    if (!current().text_dialog(prompt ? prompt : "", deftext ? deftext : "", &answer))
        return 0;
    dialog_text = answer;
    if (text)
        *text = dialog_text.c_str();
    return 1;
}

short saveasdialog_extended(char *name, short *vol, t_fourcc *type, t_fourcc *typelist, short numtypes)
{
    std::string path;
    if (!current().save_dialog(name ? name : "", &path) || path.empty())
        return 1;
    short id = 0;
    char file[MAX_FILENAME_CHARS];
    if (path_frompotentialpathname(path.c_str(), &id, file))
        return 1;
    if (name)
        snprintf(name, MAX_FILENAME_CHARS, "%s", file);
    if (vol)
        *vol = id;
    if (type)
        *type = (typelist && numtypes > 0) ? typelist[0] : 0;
    return 0;
}

namespace maxhost {

void set_ui_driver(UiDriver *d) { driver = d; }

ScriptedDriver &scripted_driver()
{
    static ScriptedDriver *d = new ScriptedDriver();
    return *d;
}

int ScriptedDriver::popup_menu(const std::vector<MenuItem> &items, long sx, long sy)
{
    (void)sx;
    (void)sy;
    Record r;
    r.kind = "menu";
    r.items = items;
    if (!menu_.empty()) {
        int id = menu_.front();
        menu_.erase(menu_.begin());
        if (id == -1 && !menu_text_.empty()) {
            std::string text = menu_text_.front();
            menu_text_.erase(menu_text_.begin());
            id = 0;
            for (const MenuItem &item : items)
                if (!item.separator && item.text == text)
                    id = item.id;
        }
        r.answered = id != 0;
        r.menu_answer = id;
    }
    records.push_back(r);
    if (on_record)
        on_record(r);
    return r.menu_answer;
}

bool ScriptedDriver::text_dialog(const std::string &prompt, const std::string &def, std::string *text)
{
    Record r;
    r.kind = "dialog";
    r.prompt = prompt;
    r.default_text = def;
    if (!dialog_.empty()) {
        r.answered = dialog_.front().first;
        r.text_answer = dialog_.front().second;
        dialog_.erase(dialog_.begin());
    }
    records.push_back(r);
    if (on_record)
        on_record(r);
    if (r.answered && text)
        *text = r.text_answer;
    return r.answered;
}

bool ScriptedDriver::save_dialog(const std::string &default_name, std::string *path)
{
    Record r;
    r.kind = "save";
    r.default_text = default_name;
    if (!save_.empty()) {
        r.answered = save_.front().first;
        r.text_answer = save_.front().second;
        save_.erase(save_.begin());
    }
    records.push_back(r);
    if (on_record)
        on_record(r);
    if (r.answered && path)
        *path = r.text_answer;
    return r.answered;
}

} // namespace maxhost
