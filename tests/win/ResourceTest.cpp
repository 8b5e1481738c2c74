// Reads the compiled resources back out of both built programs (x86 and x64) and holds them to
// the layout the program's code, the dialog manager, the shell and the loader depend on. The
// script's text proves nothing: windres has its own defaults, so every check here is made on the
// bytes that were linked into the programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;
constexpr WORD kEnUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string Narrow(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string Hex(unsigned long value, int digits = 8)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*lX", digits, value);
    return buffer;
}

std::string IdText(LPCWSTR id)
{
    if (IS_INTRESOURCE(id))
        return std::to_string(reinterpret_cast<ULONG_PTR>(id));
    return Narrow(id);
}

// --- Style words, named so a failure reads as styles rather than as a number --------------------

struct Flag
{
    DWORD bits;
    const char* name;
};

struct StyleNames
{
    DWORD typeMask; // the low bits that hold an enumerated control type, not flags
    std::vector<Flag> types;
    std::vector<Flag> flags;
};

const std::vector<Flag> kChildFlags = {
    {WS_POPUP, "WS_POPUP"}, {WS_CHILD, "WS_CHILD"}, {WS_VISIBLE, "WS_VISIBLE"},
    {WS_DISABLED, "WS_DISABLED"}, {WS_CLIPSIBLINGS, "WS_CLIPSIBLINGS"}, {WS_BORDER, "WS_BORDER"},
    {WS_VSCROLL, "WS_VSCROLL"}, {WS_HSCROLL, "WS_HSCROLL"}, {WS_GROUP, "WS_GROUP"},
    {WS_TABSTOP, "WS_TABSTOP"},
};

std::vector<Flag> WithChildFlags(std::vector<Flag> own)
{
    own.insert(own.end(), kChildFlags.begin(), kChildFlags.end());
    return own;
}

const StyleNames kButtonStyles = {
    BS_TYPEMASK,
    {{BS_PUSHBUTTON, "BS_PUSHBUTTON"}, {BS_DEFPUSHBUTTON, "BS_DEFPUSHBUTTON"},
     {BS_CHECKBOX, "BS_CHECKBOX"}, {BS_AUTOCHECKBOX, "BS_AUTOCHECKBOX"}, {BS_GROUPBOX, "BS_GROUPBOX"}},
    kChildFlags,
};
const StyleNames kStaticStyles = {
    SS_TYPEMASK,
    {{SS_LEFT, "SS_LEFT"}, {SS_CENTER, "SS_CENTER"}, {SS_ICON, "SS_ICON"}},
    WithChildFlags({{SS_NOPREFIX, "SS_NOPREFIX"}}),
};
const StyleNames kDialogStyles = {
    0,
    {},
    {{WS_POPUP, "WS_POPUP"}, {WS_CHILD, "WS_CHILD"}, {WS_VISIBLE, "WS_VISIBLE"},
     {WS_DISABLED, "WS_DISABLED"}, {WS_CAPTION, "WS_CAPTION"}, {WS_BORDER, "WS_BORDER"},
     {WS_DLGFRAME, "WS_DLGFRAME"}, {WS_SYSMENU, "WS_SYSMENU"}, {WS_THICKFRAME, "WS_THICKFRAME"},
     {WS_MINIMIZEBOX, "WS_MINIMIZEBOX"}, {WS_MAXIMIZEBOX, "WS_MAXIMIZEBOX"},
     {DS_MODALFRAME, "DS_MODALFRAME"}, {DS_SETFONT, "DS_SETFONT"}, {DS_FIXEDSYS, "DS_FIXEDSYS"},
     {DS_CENTER, "DS_CENTER"}, {DS_CONTROL, "DS_CONTROL"}, {DS_3DLOOK, "DS_3DLOOK"}},
};
const StyleNames kDialogExStyles = {
    0,
    {},
    {{WS_EX_APPWINDOW, "WS_EX_APPWINDOW"}, {WS_EX_DLGMODALFRAME, "WS_EX_DLGMODALFRAME"},
     {WS_EX_TOOLWINDOW, "WS_EX_TOOLWINDOW"}, {WS_EX_TOPMOST, "WS_EX_TOPMOST"},
     {WS_EX_CONTROLPARENT, "WS_EX_CONTROLPARENT"}, {WS_EX_CONTEXTHELP, "WS_EX_CONTEXTHELP"}},
};

// Equal texts mean equal words: bits without a name are kept as a hexadecimal remainder.
std::string StyleText(DWORD style, const StyleNames& names)
{
    std::string text;
    auto add = [&text](const std::string& name) { text += (text.empty() ? "" : "|") + name; };
    for (const Flag& flag : names.flags) {
        if ((style & flag.bits) == flag.bits) {
            add(flag.name);
            style &= ~flag.bits;
        }
    }
    if (names.typeMask != 0) {
        const DWORD type = style & names.typeMask;
        style &= ~names.typeMask;
        auto named = std::find_if(names.types.begin(), names.types.end(), [type](const Flag& f) { return f.bits == type; });
        add(named != names.types.end() ? named->name : "type " + Hex(type, 2));
    }
    if (style != 0)
        add(Hex(style));
    return text.empty() ? "0" : text;
}

// --- Raw structures -----------------------------------------------------------------------------

// Little-endian reads that never run past the data: a short read sets the failure flag.
class Reader
{
public:
    explicit Reader(const Bytes& data, size_t at = 0, size_t end = SIZE_MAX)
        : data_(data), pos_(at), end_(std::min(end, data.size())) {}

    template <typename T>
    T Get()
    {
        T value{};
        if (!ok_ || end_ - std::min(pos_, end_) < sizeof(T)) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }

    std::wstring Sz()
    {
        std::wstring text;
        for (WORD c = Get<WORD>(); ok_ && c != 0; c = Get<WORD>())
            text += static_cast<wchar_t>(c);
        return text;
    }

    // A name-or-ordinal field, in the form the tables write it.
    std::string SzOrOrd()
    {
        const WORD first = Get<WORD>();
        if (first == 0x0000)
            return "none";
        if (first == 0xFFFF)
            return "ordinal " + Hex(Get<WORD>(), 4);
        return "\"" + Narrow(std::wstring(1, static_cast<wchar_t>(first)) + Sz()) + "\"";
    }

    void Align() { pos_ = (pos_ + 3) & ~size_t{3}; }
    void Skip(size_t count) { pos_ += count; }
    size_t Pos() const { return pos_; }
    bool Ok() const { return ok_ && pos_ <= end_; }

private:
    const Bytes& data_;
    size_t pos_;
    size_t end_;
    bool ok_ = true;
};

std::string Ord(WORD ordinal) { return "ordinal " + Hex(ordinal, 4); }
std::string Str(const char* text) { return std::string("\"") + text + "\""; }
std::string Rect(short x, short y, short cx, short cy)
{
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," + std::to_string(cy);
}

struct ControlTemplate
{
    DWORD helpId = 0, exStyle = 0, style = 0;
    std::string rect;
    std::int32_t id = 0;
    std::string windowClass, text;
    WORD creationDataSize = 0;
};

struct DialogTemplate
{
    WORD version = 0, signature = 0;
    DWORD helpId = 0, exStyle = 0, style = 0;
    WORD controlCount = 0;
    std::string rect, menu, windowClass;
    std::wstring caption;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::wstring typeface;
    std::vector<ControlTemplate> controls;
    size_t bytesAfterLastControl = 0;
};

// DLGTEMPLATEEX followed by its DLGITEMTEMPLATEEX entries, each DWORD-aligned.
bool ParseDialog(const Bytes& data, DialogTemplate& d)
{
    Reader r(data);
    auto rect = [&r] {
        const short x = r.Get<short>(), y = r.Get<short>(), cx = r.Get<short>(), cy = r.Get<short>();
        return Rect(x, y, cx, cy);
    };
    d.version = r.Get<WORD>();
    d.signature = r.Get<WORD>();
    d.helpId = r.Get<DWORD>();
    d.exStyle = r.Get<DWORD>();
    d.style = r.Get<DWORD>();
    d.controlCount = r.Get<WORD>();
    d.rect = rect();
    d.menu = r.SzOrOrd();
    d.windowClass = r.SzOrOrd();
    d.caption = r.Sz();
    d.pointSize = r.Get<WORD>();
    d.weight = r.Get<WORD>();
    d.italic = r.Get<BYTE>();
    d.charset = r.Get<BYTE>();
    d.typeface = r.Sz();
    for (WORD i = 0; i < d.controlCount && r.Ok(); ++i) {
        r.Align();
        ControlTemplate c;
        c.helpId = r.Get<DWORD>();
        c.exStyle = r.Get<DWORD>();
        c.style = r.Get<DWORD>();
        c.rect = rect();
        c.id = r.Get<std::int32_t>();
        c.windowClass = r.SzOrOrd();
        c.text = r.SzOrOrd();
        c.creationDataSize = r.Get<WORD>();
        r.Skip(c.creationDataSize);
        d.controls.push_back(c);
    }
    d.bytesAfterLastControl = r.Ok() ? data.size() - r.Pos() : 0;
    return r.Ok();
}

// One node of a VS_VERSIONINFO tree: wLength, wValueLength, wType, szKey, Value, Children.
struct VersionNode
{
    std::wstring key;
    WORD type = 0;
    Bytes value;
    std::vector<VersionNode> children;

    std::wstring Text() const
    {
        std::wstring text(value.size() / 2, L'\0');
        std::memcpy(text.data(), value.data(), text.size() * 2);
        return text.substr(0, text.find(L'\0'));
    }
    std::vector<std::string> ChildKeys() const
    {
        std::vector<std::string> keys;
        for (const VersionNode& child : children)
            keys.push_back(Narrow(child.key));
        return keys;
    }
};

bool ParseVersionNode(const Bytes& data, size_t at, size_t end, VersionNode& node, size_t& length)
{
    Reader r(data, at, end);
    length = r.Get<WORD>();
    const WORD valueLength = r.Get<WORD>();
    node.type = r.Get<WORD>();
    node.key = r.Sz();
    r.Align();
    const size_t valueBytes = node.type == 1 ? valueLength * size_t{2} : valueLength; // text counts characters
    if (!r.Ok() || length < r.Pos() - at || at + length > end || r.Pos() + valueBytes > at + length)
        return false;
    node.value.assign(data.begin() + static_cast<std::ptrdiff_t>(r.Pos()),
                      data.begin() + static_cast<std::ptrdiff_t>(r.Pos() + valueBytes));
    size_t child = (r.Pos() + valueBytes + 3) & ~size_t{3};
    while (child < at + length) {
        size_t childLength = 0;
        node.children.emplace_back();
        if (!ParseVersionNode(data, child, at + length, node.children.back(), childLength) || childLength == 0)
            return false;
        child = (child + childLength + 3) & ~size_t{3};
    }
    return true;
}

// --- Just enough XML to read a manifest --------------------------------------------------------

// An outline of the document: one line per element, indented by depth, its attributes sorted
// (their order means nothing to XML) and its text trimmed, so the same tree gives the same outline
// however the file is laid out, and gtest shows a mismatch as a line diff. Markup this reader does
// not know shows up as an "unreadable" line, which no expected outline contains.
std::string OutlineXml(std::string xml)
{
    static const std::regex comment(R"(<!--[\s\S]*?-->)");
    static const std::regex tag(R"(<(/?)(\??[\w:.-]+)((?:\s+[\w:.-]+\s*=\s*"[^"]*")*)\s*([/?]?)>)");
    static const std::regex attribute(R"(([\w:.-]+)\s*=\s*"([^"]*)\")");
    xml = std::regex_replace(xml, comment, "");
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, size_t>> open; // name and line of each element not yet closed
    size_t roots = 0, end = 0;
    auto addText = [&](const std::string& between) {
        const size_t first = between.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            return;
        const std::string text = between.substr(first, between.find_last_not_of(" \t\r\n") - first + 1);
        if (open.empty() || text.find('<') != std::string::npos)
            lines.push_back("unreadable: " + text);
        else
            lines[open.back().second] += " : \"" + text + "\"";
    };
    for (std::sregex_iterator it(xml.begin(), xml.end(), tag), last; it != last; ++it) {
        const std::smatch& m = *it;
        addText(xml.substr(end, static_cast<size_t>(m.position()) - end));
        end = static_cast<size_t>(m.position() + m.length());
        const bool declaration = m[2] == "?xml" && m[4] == "?" && m.position() == 0;
        if (m[1] == "/") {
            if (open.empty() || open.back().first != m[2] || m[3].length() != 0 || m[4].length() != 0)
                lines.push_back("unreadable: " + m.str());
            else
                open.pop_back();
            continue;
        }
        const bool root = !declaration && open.empty();
        if ((m[4] == "?") != declaration || (m[2] == "?xml") != declaration || (root && roots > 0)) {
            lines.push_back("unreadable: " + m.str());
            continue;
        }
        roots += root ? 1 : 0;
        std::vector<std::pair<std::string, std::string>> attributes;
        const std::string list = m[3];
        for (std::sregex_iterator a(list.begin(), list.end(), attribute); a != last; ++a)
            attributes.emplace_back((*a)[1], (*a)[2]);
        std::sort(attributes.begin(), attributes.end());
        std::string line = std::string(open.size() * 2, ' ') + m[2].str();
        for (const auto& [name, value] : attributes)
            line += " " + name + "=\"" + value + "\"";
        lines.push_back(line);
        if (!declaration && m[4] != "/")
            open.emplace_back(m[2], lines.size() - 1);
    }
    addText(xml.substr(end));
    for (const auto& [name, line] : open)
        lines.push_back("unclosed: " + name);
    std::string outline;
    for (const std::string& line : lines)
        outline += line + "\n";
    return outline;
}

// --- The expected resources ---------------------------------------------------------------------

struct ControlRow
{
    std::string windowClass;
    std::int32_t id;
    std::string text;
    std::string rect;
    DWORD style; // beyond WS_CHILD | WS_VISIBLE, which every control has
};

struct DialogRow
{
    WORD id;
    std::string rect;
    DWORD style, exStyle;
    std::wstring caption;
    std::vector<ControlRow> controls;
};

const std::string kButton = Ord(0x0080);
const std::string kStatic = Ord(0x0082);

const DialogRow kMainDialog = {
    102, "0,0,320,129",
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    WS_EX_APPWINDOW, L"MorvexDisabler",
    {
        {kButton, -1, Str("Select Keyboard Keys to Disable"), "7,7,306,81", BS_GROUPBOX},
        {kButton, 1001, Str("&Left Windows Key"), "21,28,73,10", BS_AUTOCHECKBOX | WS_TABSTOP},
        {kButton, 1002, Str("&Right Windows Key"), "21,46,77,10", BS_AUTOCHECKBOX | WS_TABSTOP},
        {kButton, 1003, Str("&Caps Lock Key"), "21,64,62,10", BS_AUTOCHECKBOX | WS_TABSTOP},
        {kButton, IDOK, Str("OK"), "146,92,80,30", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {kButton, IDCANCEL, Str("Cancel"), "233,92,80,30", BS_PUSHBUTTON | WS_TABSTOP},
        {kButton, 1000, Str("MorvexSoft"), "7,92,80,30", BS_PUSHBUTTON | WS_TABSTOP},
        {kButton, 1004, Str("For &All Users on this Computer"), "191,57,113,10", BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED},
        {kButton, 1006, Str("Left &Ctrl Key"), "117,30,56,10", BS_AUTOCHECKBOX | WS_TABSTOP},
    },
};

const DialogRow kAboutBox = {
    100, "0,0,215,89",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    0, L"About Morvex Disabler",
    {
        {kStatic, -1, Ord(128), "14,14,20,20", SS_ICON},
        {kStatic, -1, Str("Morvex Disabler, Version 2.0"), "42,14,114,8", SS_LEFT | SS_NOPREFIX | WS_GROUP},
        {kStatic, -1, Str("Contact : support@morvexsoft.com"), "42,42,166,8", SS_LEFT | WS_GROUP},
        {kButton, IDOK, Str("OK"), "158,68,50,14", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
    },
};

// The standard 16-colour palette, as red, green, blue.
const BYTE kStandardPalette[16][3] = {
    {0, 0, 0}, {128, 0, 0}, {0, 128, 0}, {128, 128, 0}, {0, 0, 128}, {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}, {0, 0, 255}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

std::string ExpectedManifest(const char* architecture, const char* level)
{
    return std::string("?xml encoding=\"UTF-8\" standalone=\"yes\" version=\"1.0\"\n"
                       "assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\"\n"
                       "  dependency\n"
                       "    dependentAssembly\n"
                       "      assemblyIdentity language=\"*\" name=\"Microsoft.Windows.Common-Controls\"") +
           " processorArchitecture=\"" + architecture + "\"" +
           " publicKeyToken=\"6595b64144ccf1df\" type=\"win32\" version=\"6.0.0.0\"\n"
           "  trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"\n"
           "    security\n"
           "      requestedPrivileges\n"
           "        requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"\n"
           "  application xmlns=\"urn:schemas-microsoft-com:asm.v3\"\n"
           "    windowsSettings\n"
           "      dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\" : \"true\"\n";
}

// --- The two programs ---------------------------------------------------------------------------

struct Program
{
    const char* folder;
    const char* manifestArchitecture;
    const char* file;
    // The dialog program: it has the dialogs, and asks for elevation as it starts. The console
    // program runs with its starter's rights.
    bool windowed;
};

std::string ProgramName(const Program& program)
{
    return std::string(program.folder) + (program.windowed ? "" : "Console");
}

void PrintTo(const Program& program, std::ostream* out)
{
    *out << ProgramName(program);
}

class ProgramResources : public testing::TestWithParam<Program>
{
protected:
    void SetUp() override
    {
        wchar_t dist[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"MORVEX_DIST", dist, MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH)
            << "MORVEX_DIST is not set; CTest sets it when the build is configured with MORVEX_DIST_DIR";
        std::wstring folder(GetParam().folder, GetParam().folder + std::strlen(GetParam().folder));
        const std::wstring file(GetParam().file, GetParam().file + std::strlen(GetParam().file));
        path_ = std::wstring(dist, length) + L"\\" + folder + L"\\" + file;
        module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << Narrow(path_) << " (error " << GetLastError() << ")";
    }

    void TearDown() override
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    testing::AssertionResult Load(LPCWSTR type, LPCWSTR name, Bytes& data) const
    {
        HRSRC found = FindResourceExW(module_, type, name, kEnUs);
        HGLOBAL loaded = found != nullptr ? LoadResource(module_, found) : nullptr;
        const auto* bytes = static_cast<const std::uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
        if (bytes == nullptr)
            return testing::AssertionFailure() << "no resource of type " << IdText(type) << " named " << IdText(name)
                                               << " in language " << kEnUs;
        data.assign(bytes, bytes + SizeofResource(module_, found));
        return testing::AssertionSuccess();
    }

    void ExpectDialog(const DialogRow& expected) const;

    HMODULE module_ = nullptr;
    std::wstring path_;
};

std::string ResourceTypeText(LPCWSTR type)
{
    static const std::map<ULONG_PTR, const char*> names = {
        {3, "RT_ICON"}, {5, "RT_DIALOG"}, {6, "RT_STRING"}, {14, "RT_GROUP_ICON"}, {16, "RT_VERSION"}, {24, "RT_MANIFEST"}};
    auto named = IS_INTRESOURCE(type) ? names.find(reinterpret_cast<ULONG_PTR>(type)) : names.end();
    return named != names.end() ? named->second : IdText(type);
}

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<std::string>*>(found)->push_back(
        ResourceTypeText(type) + " " + IdText(name) + " language " + std::to_string(language));
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found)
{
    return EnumResourceLanguagesW(module, type, name, OnLanguage, found);
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR found)
{
    return EnumResourceNamesW(module, type, OnName, found);
}

TEST_P(ProgramResources, HoldExactlyTheExpectedResourcesAllInUsEnglish)
{
    std::vector<std::string> found;
    ASSERT_TRUE(EnumResourceTypesW(module_, OnType, reinterpret_cast<LONG_PTR>(&found)));
    std::sort(found.begin(), found.end());
    // String tables are stored in blocks of 16: block 7 holds 96..111, block 3585 holds 0xE000..0xE00F.
    std::vector<std::string> expected = {
        "RT_GROUP_ICON 128 language 1033", "RT_ICON 1 language 1033",   "RT_MANIFEST 1 language 1033",
        "RT_STRING 3585 language 1033",    "RT_STRING 7 language 1033", "RT_VERSION 1 language 1033",
    };
    if (GetParam().windowed)
        expected.insert(expected.begin(), { "AFX_DIALOG_LAYOUT 100 language 1033", "RT_DIALOG 100 language 1033",
                                            "RT_DIALOG 102 language 1033" });
    EXPECT_EQ(found, expected);
}

TEST_P(ProgramResources, StringTableHoldsOnlyTheAboutCommandAndTheTitle)
{
    const std::map<UINT, std::wstring> expected = {
        {101, L"&About Morvex Disabler..."},
        {0xE000, L"Morvex Disabler by MorvexSoft"},
    };
    std::map<UINT, std::wstring> found;
    for (WORD block : {WORD{7}, WORD{3585}}) {
        Bytes data;
        ASSERT_TRUE(Load(RT_STRING, MAKEINTRESOURCEW(block), data));
        Reader r(data);
        for (UINT i = 0; i < 16; ++i) {
            std::wstring text(r.Get<WORD>(), L'\0');
            for (wchar_t& c : text)
                c = static_cast<wchar_t>(r.Get<WORD>());
            if (!text.empty())
                found[(block - 1u) * 16u + i] = text;
        }
        EXPECT_TRUE(r.Ok() && r.Pos() == data.size()) << "block " << block << " is not 16 counted strings";
    }
    EXPECT_EQ(found, expected);

    // The program reads them through LoadString, which has to find them from the ids alone.
    for (const auto& [id, text] : expected) {
        const wchar_t* stored = nullptr;
        const int length = LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&stored), 0);
        EXPECT_EQ(std::wstring(stored != nullptr ? stored : L"", static_cast<size_t>(std::max(length, 0))), text)
            << "LoadString(" << id << ")";
    }
}

void ProgramResources::ExpectDialog(const DialogRow& expected) const
{
    Bytes data;
    ASSERT_TRUE(Load(RT_DIALOG, MAKEINTRESOURCEW(expected.id), data));
    DialogTemplate d;
    ASSERT_TRUE(ParseDialog(data, d)) << "the template ends early";

    EXPECT_EQ(d.version, 1) << "dlgVer: not a DIALOGEX template";
    EXPECT_EQ(Hex(d.signature, 4), "0xFFFF") << "signature: not a DIALOGEX template";
    EXPECT_EQ(d.helpId, 0u) << "helpID";
    EXPECT_EQ(StyleText(d.style, kDialogStyles), StyleText(expected.style, kDialogStyles)) << "style";
    EXPECT_EQ(StyleText(d.exStyle, kDialogExStyles), StyleText(expected.exStyle, kDialogExStyles)) << "exStyle";
    EXPECT_EQ(d.rect, expected.rect) << "x,y,cx,cy";
    EXPECT_EQ(d.menu, "none") << "menu";
    EXPECT_EQ(d.windowClass, "none") << "window class: the system dialog class";
    EXPECT_EQ(d.caption, expected.caption) << "caption";
    EXPECT_EQ(d.pointSize, 8) << "font size";
    EXPECT_EQ(d.weight, 0) << "font weight";
    EXPECT_EQ(d.italic, 0) << "italic";
    EXPECT_EQ(d.charset, 1) << "charset";
    EXPECT_EQ(d.typeface, L"MS Shell Dlg") << "typeface";
    EXPECT_LE(d.bytesAfterLastControl, 3u) << "data after the last control";
    ASSERT_EQ(d.controls.size(), expected.controls.size()) << "number of controls";

    for (size_t i = 0; i < d.controls.size(); ++i) {
        const ControlTemplate& c = d.controls[i];
        const ControlRow& e = expected.controls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + ": expected id " + std::to_string(e.id) + ", text " + e.text);
        const StyleNames& names = e.windowClass == kStatic ? kStaticStyles : kButtonStyles;
        EXPECT_EQ(c.windowClass, e.windowClass) << "class";
        EXPECT_EQ(c.id, e.id) << "id";
        EXPECT_EQ(c.text, e.text) << "text";
        EXPECT_EQ(c.rect, e.rect) << "x,y,cx,cy";
        EXPECT_EQ(StyleText(c.style, names), StyleText(WS_CHILD | WS_VISIBLE | e.style, names)) << "style";
        EXPECT_EQ(Hex(c.exStyle), Hex(0)) << "exStyle";
        EXPECT_EQ(c.helpId, 0u) << "helpID";
        EXPECT_EQ(c.creationDataSize, 0) << "creation data";
    }
}

// Only the dialog program has dialogs.
class WindowedProgramResources : public ProgramResources
{
};

TEST_P(WindowedProgramResources, MainDialogTemplateMatchesTable)
{
    ExpectDialog(kMainDialog);
}

TEST_P(WindowedProgramResources, AboutBoxTemplateMatchesTable)
{
    ExpectDialog(kAboutBox);
}

TEST_P(WindowedProgramResources, AboutBoxLayoutDeclaresNoMovingControls)
{
    Bytes data;
    ASSERT_TRUE(Load(L"AFX_DIALOG_LAYOUT", MAKEINTRESOURCEW(100), data));
    EXPECT_EQ(data, (Bytes{0, 0})) << "version word 0 and no entries";
}

TEST_P(ProgramResources, IconIsOneSixteenColourImageOfARedM)
{
    Bytes group;
    ASSERT_TRUE(Load(RT_GROUP_ICON, MAKEINTRESOURCEW(128), group));
    ASSERT_EQ(group.size(), 6u + 14u) << "a directory of one entry";
    Reader g(group);
    EXPECT_EQ(g.Get<WORD>(), 0) << "reserved";
    EXPECT_EQ(g.Get<WORD>(), 1) << "type: icon";
    EXPECT_EQ(g.Get<WORD>(), 1) << "image count";
    EXPECT_EQ(g.Get<BYTE>(), 32) << "width";
    EXPECT_EQ(g.Get<BYTE>(), 32) << "height";
    EXPECT_EQ(g.Get<BYTE>(), 16) << "colour count";
    EXPECT_EQ(g.Get<BYTE>(), 0) << "reserved";
    EXPECT_EQ(g.Get<WORD>(), 1) << "planes";
    EXPECT_EQ(g.Get<WORD>(), 4) << "bits per pixel";
    EXPECT_EQ(g.Get<DWORD>(), 744u) << "image size";
    EXPECT_EQ(g.Get<WORD>(), 1) << "image id";
    // What the shell and LoadIcon do with the directory: pick image 1 for a 32x32 icon.
    EXPECT_EQ(LookupIconIdFromDirectoryEx(group.data(), TRUE, 32, 32, LR_DEFAULTCOLOR), 1);

    Bytes image;
    ASSERT_TRUE(Load(RT_ICON, MAKEINTRESOURCEW(1), image));
    ASSERT_EQ(image.size(), 744u) << "header 40 + palette 64 + colour 512 + mask 128";
    BITMAPINFOHEADER header;
    std::memcpy(&header, image.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64) << "colour image and mask, stacked";
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    for (size_t i = 0; i < 16; ++i) {
        const std::uint8_t* quad = &image[40 + 4 * i]; // blue, green, red, reserved
        EXPECT_EQ(Bytes({quad[2], quad[1], quad[0], quad[3]}),
                  Bytes({kStandardPalette[i][0], kStandardPalette[i][1], kStandardPalette[i][2], 0}))
            << "palette entry " << i << " as red, green, blue, reserved";
    }

    // Rows are stored bottom-up: 16 bytes of two 4-bit indexes each, then 4 bytes of mask bits.
    int left = 32, right = -1, top = 32, bottom = -1;
    std::vector<std::string> wrongPixels;
    std::string opaqueRows[32];
    for (int y = 0; y < 32; ++y) {
        const int row = 31 - y;
        for (int x = 0; x < 32; ++x) {
            const BYTE both = image[104 + row * 16 + x / 2];
            const int index = x % 2 == 0 ? both >> 4 : both & 0x0F;
            const bool opaque = ((image[616 + row * 4 + x / 8] >> (7 - x % 8)) & 1) == 0;
            opaqueRows[y] += opaque ? '#' : '.';
            if (opaque) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
            if (index != (opaque ? 9 : 0))
                wrongPixels.push_back(std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(index));
        }
    }
    EXPECT_EQ(Rect(static_cast<short>(left), static_cast<short>(top), static_cast<short>(right), static_cast<short>(bottom)),
              "5,5,28,27")
        << "opaque pixels span columns left..right and rows top..bottom";
    EXPECT_TRUE(wrongPixels.empty()) << "opaque pixels must be red (9), transparent ones 0; wrong: "
                                     << testing::PrintToString(wrongPixels);
    // An M and not a block: both uprights run the full height, and the middle is open at the
    // top and at the foot.
    for (int y = 5; y <= 27; ++y) {
        EXPECT_EQ(opaqueRows[y].substr(5, 4), "####") << "left upright, row " << y;
        EXPECT_EQ(opaqueRows[y].substr(25, 4), "####") << "right upright, row " << y;
    }
    EXPECT_EQ(opaqueRows[5].substr(14, 6), "......") << "the top between the diagonals";
    EXPECT_EQ(opaqueRows[27].substr(9, 16), std::string(16, '.')) << "the foot between the uprights";
}

TEST_P(ProgramResources, VersionBlockHoldsExactlyTheExpectedEntries)
{
    Bytes data;
    ASSERT_TRUE(Load(RT_VERSION, MAKEINTRESOURCEW(1), data));
    VersionNode root;
    size_t length = 0;
    ASSERT_TRUE(ParseVersionNode(data, 0, data.size(), root, length)) << "not a well-formed VS_VERSIONINFO";
    EXPECT_LE(data.size() - length, 3u) << "data after the version block";
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));

    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof fixed);
    const std::pair<const char*, std::pair<DWORD, DWORD>> fields[] = {
        {"signature", {fixed.dwSignature, 0xFEEF04BD}},
        {"structure version", {fixed.dwStrucVersion, 0x00010000}},
        {"file version, high", {fixed.dwFileVersionMS, 0x00020000}},
        {"file version, low", {fixed.dwFileVersionLS, 0x00000001}},
        {"product version, high", {fixed.dwProductVersionMS, 0x00020000}},
        {"product version, low", {fixed.dwProductVersionLS, 0x00000001}},
        {"flags mask", {fixed.dwFileFlagsMask, 0x3F}},
        {"flags", {fixed.dwFileFlags, 0}},
        {"OS", {fixed.dwFileOS, VOS__WINDOWS32}},
        {"type", {fixed.dwFileType, VFT_APP}},
        {"subtype", {fixed.dwFileSubtype, 0}},
        {"date, high", {fixed.dwFileDateMS, 0}},
        {"date, low", {fixed.dwFileDateLS, 0}},
    };
    for (const auto& [name, values] : fields)
        EXPECT_EQ(Hex(values.first), Hex(values.second)) << name;

    ASSERT_EQ(root.ChildKeys(), (std::vector<std::string>{"StringFileInfo", "VarFileInfo"}));
    const VersionNode& strings = root.children[0];
    ASSERT_EQ(strings.ChildKeys(), std::vector<std::string>{"040904e4"}) << "string tables";
    const std::wstring file(GetParam().file, GetParam().file + std::strlen(GetParam().file));
    std::vector<std::pair<std::string, std::wstring>> entries;
    for (const VersionNode& entry : strings.children[0].children) {
        EXPECT_EQ(entry.type, 1) << Narrow(entry.key) << " is not text";
        entries.emplace_back(Narrow(entry.key), entry.Text());
    }
    const std::vector<std::pair<std::string, std::wstring>> expected = {
        {"Comments", L"Contact : support@morvexsoft.com"},
        {"CompanyName", L"Morvex Softwares"},
        {"FileDescription", L"Morvex Keyboard Disabler"},
        {"FileVersion", L"2.0.0.1"},
        {"InternalName", file},
        {"OriginalFilename", file},
        {"ProductName", L"Morvex Disabler"},
        {"ProductVersion", L"2.0.0.1"},
    };
    EXPECT_EQ(entries, expected);

    const VersionNode& vars = root.children[1];
    ASSERT_EQ(vars.ChildKeys(), std::vector<std::string>{"Translation"});
    EXPECT_EQ(vars.children[0].type, 0) << "Translation is binary";
    EXPECT_EQ(vars.children[0].value, (Bytes{0x09, 0x04, 0xE4, 0x04})) << "one pair: 0x0409, 0x04E4";
}

TEST_P(ProgramResources, ManifestAsksForCommonControls6TheRightsItNeedsAndDpiAwareness)
{
    Bytes data;
    ASSERT_TRUE(Load(RT_MANIFEST, MAKEINTRESOURCEW(1), data));
    ASSERT_GE(data.size(), 3u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 3), (Bytes{0xEF, 0xBB, 0xBF})) << "UTF-8 byte-order mark";

    // The trust information stays in the console program too: without it, Windows would run it
    // with registry and file virtualisation, as a program from before Vista.
    EXPECT_EQ(OutlineXml(std::string(data.begin() + 3, data.end())),
              ExpectedManifest(GetParam().manifestArchitecture, GetParam().windowed ? "requireAdministrator" : "asInvoker"));
}

const Program kWindowed[] = {{"x86", "x86", "MorvexDisabler.exe", true}, {"x64", "amd64", "MorvexDisabler.exe", true}};
const Program kConsole[] = {{"x86", "x86", "MorvexDisabler.com", false}, {"x64", "amd64", "MorvexDisabler.com", false}};
std::string NameOf(const testing::TestParamInfo<Program>& program)
{
    return ProgramName(program.param);
}
INSTANTIATE_TEST_SUITE_P(Programs, ProgramResources, testing::ValuesIn(kWindowed), NameOf);
INSTANTIATE_TEST_SUITE_P(ConsolePrograms, ProgramResources, testing::ValuesIn(kConsole), NameOf);
INSTANTIATE_TEST_SUITE_P(Programs, WindowedProgramResources, testing::ValuesIn(kWindowed), NameOf);

} // namespace
