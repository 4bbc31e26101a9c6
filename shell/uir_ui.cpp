// Reader of the panel resource file "uldo.uir".
//
// The file is JSON:
//   {"panels": [panel...], "menubars": [menubar...]}
//   panel:   {"resource": n, "title": "...", "width": px, "height": px,
//             "callback": "Name" (optional, receives EVENT_CLOSE), "resizable": bool,
//             "close_button": n (clicked by the close button and Escape),
//             "default_button": n (clicked by Enter), "controls": [control...]}
//   control: {"number": n, "kind": K, "left": px, "top": px, "width": px, "height": px,
//             "label": "...", "label_left": bool, "callback": "Name", ...}
//     K is numeric, text, textbox, selector, checkbox, toggle, button, listbox,
//     label, graph, intensity, canvas, progress or frame (a titled box that
//     groups the controls listed after it). Kind fields:
//       numeric:  "int", "unsigned", "hex", "min", "max", "precision", "default", "readonly"
//       text: "readonly", "max_length" (characters), "text" (initial text)
//       textbox (several lines): "readonly", "text"
//       selector, listbox: "items": [{"value": n, "label": "..."}], "default" (a value)
//       checkbox, toggle: "default" (0/1);  progress: "min", "max", "default"
//       label: "align" ("left", "center", "right"); any control: "font_size", "bold",
//       "dimmed" (starts dimmed), "monospace" (the lists' fixed-pitch font)
//       graph, intensity: "cursors" (0 to 4)
//     A label may leave out "number" when no code addresses it.
//   menubar: {"resource": n, "menus": [{"label": "File", "number": n (optional),
//             "mnemonic": "F", "items": [{"number": n, "label": "...", "callback": "Name",
//                        "dimmed": bool, "checked": bool, "shortcut": "Ctrl+O",
//                        "mnemonic": "L"} | {"separator": true}]}]}
// Numbers are unique within a panel (controls) and within a menu bar (menus and
// items). Unknown keys are refused so that a misspelt field is not silently lost.
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "shell/widgets_ui.h"

extern const unsigned char uir_resource[];
extern const std::size_t uir_resource_size;

namespace {

using nlohmann::json;

const char* const kind_names[KIND_COUNT] = {
    "numeric", "text", "textbox", "selector", "checkbox", "toggle", "button",
    "listbox", "label", "graph", "intensity", "canvas", "progress", "frame",
};

// Size a control gets when the resource gives none.
struct KindSize {
    int width, height;
};
const KindSize default_sizes[KIND_COUNT] = {
    {100, 24}, {200, 24}, {300, 100}, {160, 24}, {160, 22}, {80, 26}, {100, 28},
    {300, 200}, {200, 20}, {400, 300}, {400, 400}, {420, 420}, {200, 22}, {200, 100},
};

// Where an error is: "uldo.uir: panel 3 control 2".
struct Context {
    std::string where;
    bool failed = false;

    void Fail(const std::string& what) {
        if (!failed) std::fprintf(stderr, "%s: %s\n", where.c_str(), what.c_str());
        failed = true;
    }
};

bool LoadDocument(const char* file, json* doc) {
    std::string text;
    if (file && std::strcmp(file, "uldo.uir") == 0) {
        text.assign(reinterpret_cast<const char*>(uir_resource), uir_resource_size);
    } else {
        std::ifstream in(file ? file : "", std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot open the resource file\n", file ? file : "(null)");
            return false;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    try {
        *doc = json::parse(text);
    } catch (const json::parse_error& e) {
        std::fprintf(stderr, "%s: not a valid resource file: %s\n", file, e.what());
        return false;
    }
    if (!doc->is_object()) {
        std::fprintf(stderr, "%s: not a valid resource file: the top level is not an object\n",
                     file);
        return false;
    }
    return true;
}

void CheckKeys(const json& object, std::initializer_list<const char*> allowed, Context& ctx) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* key : allowed)
            if (it.key() == key) known = true;
        if (!known) ctx.Fail("unknown field \"" + it.key() + "\"");
    }
}

int Int(const json& object, const char* key, int fallback, Context& ctx, bool required = false) {
    auto it = object.find(key);
    if (it == object.end()) {
        if (required) ctx.Fail(std::string("missing \"") + key + "\"");
        return fallback;
    }
    if (!it->is_number_integer()) {
        ctx.Fail(std::string("\"") + key + "\" must be an integer");
        return fallback;
    }
    long long v = it->get<long long>();
    if (v < -2147483647LL || v > 2147483647LL) {
        ctx.Fail(std::string("\"") + key + "\" is out of range");
        return fallback;
    }
    return static_cast<int>(v);
}

double Number(const json& object, const char* key, double fallback, Context& ctx) {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_number()) {
        ctx.Fail(std::string("\"") + key + "\" must be a number");
        return fallback;
    }
    return it->get<double>();
}

int Flag(const json& object, const char* key, Context& ctx) {
    auto it = object.find(key);
    if (it == object.end()) return 0;
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    if (it->is_number_integer()) return it->get<long long>() != 0 ? 1 : 0;
    ctx.Fail(std::string("\"") + key + "\" must be true or false");
    return 0;
}

void Text(const json& object, const char* key, char* out, std::size_t size, Context& ctx,
          bool required = false) {
    out[0] = '\0';
    auto it = object.find(key);
    if (it == object.end()) {
        if (required) ctx.Fail(std::string("missing \"") + key + "\"");
        return;
    }
    if (!it->is_string()) {
        ctx.Fail(std::string("\"") + key + "\" must be a text");
        return;
    }
    const std::string& s = it->get_ref<const std::string&>();
    if (s.size() >= size) {
        ctx.Fail(std::string("\"") + key + "\" is longer than " + std::to_string(size - 1) +
                 " bytes");
        return;
    }
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
}

const json* Array(const json& object, const char* key, Context& ctx) {
    auto it = object.find(key);
    if (it == object.end()) return nullptr;
    if (!it->is_array()) {
        ctx.Fail(std::string("\"") + key + "\" must be a list");
        return nullptr;
    }
    return &*it;
}

// The one entry of `list` whose "resource" is `resource`.
const json* FindResource(const json& doc, const char* list, int resource, const char* file,
                         const char* what) {
    auto it = doc.find(list);
    if (it == doc.end() || !it->is_array()) {
        std::fprintf(stderr, "%s: no \"%s\" list\n", file, list);
        return nullptr;
    }
    const json* found = nullptr;
    for (const json& entry : *it) {
        if (!entry.is_object()) continue;
        auto r = entry.find("resource");
        if (r == entry.end() || !r->is_number_integer() || r->get<long long>() != resource)
            continue;
        if (found) {
            std::fprintf(stderr, "%s: %s %d is defined twice\n", file, what, resource);
            return nullptr;
        }
        found = &entry;
    }
    if (!found) std::fprintf(stderr, "%s: there is no %s %d\n", file, what, resource);
    return found;
}

// A mnemonic is one letter or digit of the label it underlines.
char Mnemonic(const json& object, const char* label, Context& ctx) {
    char text[8];
    Text(object, "mnemonic", text, sizeof text, ctx);
    if (!text[0]) return 0;
    bool in_label = false;
    for (const char* p = label; *p; ++p)
        in_label = in_label || std::tolower(static_cast<unsigned char>(*p)) ==
                                   std::tolower(static_cast<unsigned char>(text[0]));
    if (text[1] || !std::isalnum(static_cast<unsigned char>(text[0])) || !in_label) {
        ctx.Fail(std::string("\"mnemonic\" \"") + text + "\" is not one letter of the label");
        return 0;
    }
    return text[0];
}

void ReadItems(const json& list, UirControl& c, Context& ctx) {
    if (list.size() > static_cast<std::size_t>(UIR_MAX_ITEMS)) {
        ctx.Fail("more than " + std::to_string(UIR_MAX_ITEMS) + " items");
        return;
    }
    for (const json& item : list) {
        if (!item.is_object()) {
            ctx.Fail("an item must be {\"value\": n, \"label\": \"...\"}");
            return;
        }
        CheckKeys(item, {"value", "label"}, ctx);
        UirItem& it = c.items[c.item_count++];
        it.value = Int(item, "value", 0, ctx, true);
        Text(item, "label", it.label, sizeof it.label, ctx, true);
    }
}

void ReadControl(const json& object, UirControl& c, Context& ctx) {
    std::memset(&c, 0, sizeof c);
    if (!object.is_object()) {
        ctx.Fail("a control must be an object");
        return;
    }
    CheckKeys(object,
              {"number", "kind", "label", "label_left", "left", "top", "width", "height",
               "callback", "int", "unsigned", "hex", "min", "max", "precision", "default",
               "readonly", "max_length", "text", "font_size", "bold", "align", "cursors",
               "items", "dimmed", "monospace"},
              ctx);
    char kind[32];
    Text(object, "kind", kind, sizeof kind, ctx, true);
    c.kind = -1;
    for (int k = 0; k < KIND_COUNT; ++k)
        if (std::strcmp(kind, kind_names[k]) == 0) c.kind = k;
    if (c.kind < 0) {
        ctx.Fail(std::string("unknown kind \"") + kind + "\"");
        return;
    }
    const bool unnumbered = c.kind == KIND_LABEL || c.kind == KIND_FRAME;
    c.number = Int(object, "number", 0, ctx, !unnumbered);
    if (c.number < 0 || (c.number == 0 && !unnumbered))
        ctx.Fail("\"number\" must be positive");
    ctx.where += " control " + std::to_string(c.number);
    Text(object, "label", c.label, sizeof c.label, ctx);
    c.label_left = Flag(object, "label_left", ctx);
    c.left = Int(object, "left", 0, ctx, true);
    c.top = Int(object, "top", 0, ctx, true);
    c.width = Int(object, "width", default_sizes[c.kind].width, ctx);
    c.height = Int(object, "height", default_sizes[c.kind].height, ctx);
    if (c.width <= 0 || c.height <= 0) ctx.Fail("width and height must be positive");
    Text(object, "callback", c.callback, sizeof c.callback, ctx);
    c.is_unsigned = Flag(object, "unsigned", ctx);
    c.hex = Flag(object, "hex", ctx);
    c.is_int = Flag(object, "int", ctx) || c.is_unsigned || c.hex;
    if (c.hex) c.is_unsigned = 1;
    c.precision = Int(object, "precision", c.is_int ? 0 : 2, ctx);
    if (c.precision < 0 || c.precision > 15) ctx.Fail("\"precision\" must be 0 to 15");
    double lowest = c.is_unsigned ? 0.0 : c.is_int ? -2147483648.0 : -1e300;
    double highest = c.is_unsigned ? 4294967295.0 : c.is_int ? 2147483647.0 : 1e300;
    if (c.kind == KIND_PROGRESS) {
        lowest = 0;
        highest = 100;
    }
    c.min = Number(object, "min", lowest, ctx);
    c.max = Number(object, "max", highest, ctx);
    if (c.min > c.max) ctx.Fail("\"min\" is above \"max\"");
    if (c.is_int && (c.min < lowest || c.max > highest))
        ctx.Fail("\"min\"/\"max\" outside the integer range");
    c.default_value = Number(object, "default", c.min > 0 ? c.min : c.max < 0 ? c.max : 0, ctx);
    c.readonly = Flag(object, "readonly", ctx);
    c.max_length = Int(object, "max_length", 0, ctx);
    if (c.max_length < 0) ctx.Fail("\"max_length\" must not be negative");
    Text(object, "text", c.text, sizeof c.text, ctx);
    c.font_size = Int(object, "font_size", 0, ctx);
    c.bold = Flag(object, "bold", ctx);
    c.dimmed = Flag(object, "dimmed", ctx);
    c.monospace = Flag(object, "monospace", ctx);
    char align[16];
    Text(object, "align", align, sizeof align, ctx);
    if (!align[0] || std::strcmp(align, "left") == 0)
        c.align = 0;
    else if (std::strcmp(align, "center") == 0)
        c.align = 1;
    else if (std::strcmp(align, "right") == 0)
        c.align = 2;
    else
        ctx.Fail(std::string("unknown \"align\" \"") + align + "\"");
    c.cursors = Int(object, "cursors", 0, ctx);
    if (c.cursors < 0 || c.cursors > UIR_MAX_CURSORS)
        ctx.Fail("\"cursors\" must be 0 to " + std::to_string(UIR_MAX_CURSORS));
    if (const json* items = Array(object, "items", ctx)) {
        if (c.kind != KIND_SELECTOR && c.kind != KIND_LISTBOX)
            ctx.Fail("only a selector or listbox has \"items\"");
        else
            ReadItems(*items, c, ctx);
    }
}

}  // namespace

const char* KindName(int kind) {
    return kind >= 0 && kind < KIND_COUNT ? kind_names[kind] : "?";
}

int ReadUirPanel(const char* file, int resource, UirPanel* panel) {
    if (!panel) return UIE_BAD_RESOURCE;
    json doc;
    if (!LoadDocument(file, &doc)) return UIE_BAD_RESOURCE;
    const json* object = FindResource(doc, "panels", resource, file, "panel");
    if (!object) return UIE_BAD_RESOURCE;
    Context ctx{std::string(file) + ": panel " + std::to_string(resource)};
    std::memset(panel, 0, sizeof *panel);
    CheckKeys(*object,
              {"resource", "title", "width", "height", "callback", "controls", "resizable",
               "close_button", "default_button"},
              ctx);
    panel->resource = resource;
    Text(*object, "title", panel->title, sizeof panel->title, ctx);
    panel->width = Int(*object, "width", 0, ctx, true);
    panel->height = Int(*object, "height", 0, ctx, true);
    if (panel->width <= 0 || panel->height <= 0) ctx.Fail("width and height must be positive");
    Text(*object, "callback", panel->callback, sizeof panel->callback, ctx);
    panel->resizable = Flag(*object, "resizable", ctx);
    panel->close_button = Int(*object, "close_button", 0, ctx);
    panel->default_button = Int(*object, "default_button", 0, ctx);
    if (const json* controls = Array(*object, "controls", ctx)) {
        if (controls->size() > static_cast<std::size_t>(UIR_MAX_CONTROLS))
            ctx.Fail("more than " + std::to_string(UIR_MAX_CONTROLS) + " controls");
        for (std::size_t i = 0; !ctx.failed && i < controls->size(); ++i) {
            Context control_ctx{ctx.where};
            UirControl& c = panel->controls[panel->control_count++];
            ReadControl((*controls)[i], c, control_ctx);
            ctx.failed = control_ctx.failed;
            for (int j = 0; !ctx.failed && c.number > 0 && j < panel->control_count - 1; ++j)
                if (panel->controls[j].number == c.number)
                    ctx.Fail("control number " + std::to_string(c.number) + " is used twice");
        }
    }
    for (int number : {panel->close_button, panel->default_button}) {
        bool found = number == 0;
        for (int j = 0; !found && j < panel->control_count; ++j)
            found = panel->controls[j].number == number && panel->controls[j].kind == KIND_BUTTON;
        if (!found && !ctx.failed)
            ctx.Fail("close_button and default_button must name a button of the panel");
    }
    return ctx.failed ? UIE_BAD_RESOURCE : 0;
}

int ReadUirMenuBar(const char* file, int resource, UirMenuBar* bar) {
    if (!bar) return UIE_BAD_RESOURCE;
    json doc;
    if (!LoadDocument(file, &doc)) return UIE_BAD_RESOURCE;
    const json* object = FindResource(doc, "menubars", resource, file, "menu bar");
    if (!object) return UIE_BAD_RESOURCE;
    Context ctx{std::string(file) + ": menu bar " + std::to_string(resource)};
    std::memset(bar, 0, sizeof *bar);
    CheckKeys(*object, {"resource", "menus"}, ctx);
    bar->resource = resource;
    // Every number used so far in this bar, to refuse duplicates.
    int used[UIR_MAX_MENUS + UIR_MAX_MENU_ITEMS];
    int used_count = 0;
    auto claim = [&](int number) {
        if (number <= 0) return;
        for (int i = 0; i < used_count; ++i)
            if (used[i] == number) ctx.Fail("number " + std::to_string(number) + " is used twice");
        used[used_count++] = number;
    };
    const json* menus = Array(*object, "menus", ctx);
    if (!menus) ctx.Fail("missing \"menus\"");
    for (std::size_t m = 0; menus && !ctx.failed && m < menus->size(); ++m) {
        const json& menu = (*menus)[m];
        if (!menu.is_object()) {
            ctx.Fail("a menu must be an object");
            break;
        }
        if (bar->menu_count == UIR_MAX_MENUS) {
            ctx.Fail("more than " + std::to_string(UIR_MAX_MENUS) + " menus");
            break;
        }
        CheckKeys(menu, {"label", "number", "items", "mnemonic"}, ctx);
        UirMenu& out = bar->menus[bar->menu_count++];
        Text(menu, "label", out.label, sizeof out.label, ctx, true);
        out.mnemonic = Mnemonic(menu, out.label, ctx);
        out.number = Int(menu, "number", 0, ctx);
        claim(out.number);
        const json* items = Array(menu, "items", ctx);
        for (std::size_t i = 0; items && !ctx.failed && i < items->size(); ++i) {
            const json& item = (*items)[i];
            if (!item.is_object()) {
                ctx.Fail("a menu item must be an object");
                break;
            }
            if (bar->item_count == UIR_MAX_MENU_ITEMS) {
                ctx.Fail("more than " + std::to_string(UIR_MAX_MENU_ITEMS) + " menu items");
                break;
            }
            CheckKeys(item,
                      {"number", "label", "callback", "separator", "dimmed", "checked",
                       "shortcut", "mnemonic"},
                      ctx);
            UirMenuItem& it = bar->items[bar->item_count++];
            it.menu = bar->menu_count - 1;
            it.separator = Flag(item, "separator", ctx);
            if (it.separator) continue;
            it.number = Int(item, "number", 0, ctx, true);
            if (it.number <= 0) ctx.Fail("a menu item's \"number\" must be positive");
            claim(it.number);
            Text(item, "label", it.label, sizeof it.label, ctx, true);
            Text(item, "callback", it.callback, sizeof it.callback, ctx);
            Text(item, "shortcut", it.shortcut, sizeof it.shortcut, ctx);
            it.mnemonic = Mnemonic(item, it.label, ctx);
            it.dimmed = Flag(item, "dimmed", ctx);
            it.checked = Flag(item, "checked", ctx);
        }
    }
    return ctx.failed ? UIE_BAD_RESOURCE : 0;
}

namespace {

int ListResources(const char* file, const char* list, int* numbers, int size) {
    json doc;
    if (!LoadDocument(file, &doc)) return UIE_BAD_RESOURCE;
    auto it = doc.find(list);
    if (it == doc.end() || !it->is_array()) return 0;
    int count = 0;
    for (const json& entry : *it) {
        auto r = entry.is_object() ? entry.find("resource") : entry.end();
        if (r == entry.end() || !r->is_number_integer()) continue;
        if (numbers && count < size) numbers[count] = r->get<int>();
        ++count;
    }
    return count;
}

}  // namespace

int ListUirPanels(const char* file, int* numbers, int size) {
    return ListResources(file, "panels", numbers, size);
}
