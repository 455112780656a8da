#include "os/desktopapps.h"

#include "os/process.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <memory>

namespace desktopapps {

namespace {

struct Unref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};

template <typename T> using Ref = std::unique_ptr<T, Unref>;

GDesktopAppInfo* desktopEntry(GAppInfo* app)
{
    return g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app), g_desktop_app_info_get_type())
               ? reinterpret_cast<GDesktopAppInfo*>(app)
               : nullptr;
}

bool isHidden(GAppInfo* app)
{
    GDesktopAppInfo* entry = desktopEntry(app);
    return entry && g_desktop_app_info_get_is_hidden(entry);
}

// On this platform a content type is a MIME type. GIO keeps what it has read and hears of changes to the
// registrations while the program's event loop runs.
Ref<GAppInfo> defaultApplication(std::string_view mimeType)
{
    const std::string type(mimeType);
    Ref<GAppInfo> app(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (!app || !isHidden(app.get()))
        return app;
    // A hidden entry stands for one the user deleted, but GIO still offers it: the next application registered
    // for the type, in the same order of lists, takes its place.
    app.reset();
    GList* all = g_app_info_get_all_for_type(type.c_str());
    for (GList* item = all; item && !app; item = item->next) {
        auto* candidate = static_cast<GAppInfo*>(item->data);
        if (!isHidden(candidate))
            app.reset(static_cast<GAppInfo*>(g_object_ref(candidate)));
    }
    g_list_free_full(all, g_object_unref);
    return app;
}

} // namespace

std::string defaultApplicationFile(std::string_view mimeType)
{
    const auto app = defaultApplication(mimeType);
    GDesktopAppInfo* entry = app ? desktopEntry(app.get()) : nullptr;
    const char* file = entry ? g_desktop_app_info_get_filename(entry) : nullptr;
    return file ? std::string(file) : std::string();
}

std::string defaultApplicationExecutable(std::string_view mimeType)
{
    // The program is the first word of the Exec line with its quotes undone, as GIO splits the line to start
    // it (GIO's own executable is the text up to the first blank, quotes and all).
    const auto app = defaultApplication(mimeType);
    const char* commandLine = app ? g_app_info_get_commandline(app.get()) : nullptr;
    gchar** words = nullptr;
    if (!commandLine || !g_shell_parse_argv(commandLine, nullptr, &words, nullptr))
        return {};
    std::string program = words[0] ? process::findExecutable(words[0]) : std::string();
    g_strfreev(words);
    return program;
}

bool openWithDefaultApplication(std::string_view mimeType, const std::string& file)
{
    const auto app = defaultApplication(mimeType);
    if (!app)
        return false;
    const Ref<GFile> location(g_file_new_for_path(file.c_str()));
    GList files{location.get(), nullptr, nullptr};
    GError* error = nullptr;
    const bool started = g_app_info_launch(app.get(), &files, nullptr, &error);
    g_clear_error(&error);
    return started;
}

} // namespace desktopapps
