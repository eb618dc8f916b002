// kut demo: a host module's typical request end to end on the sample data,
// each step printed: a message fetched by number, its marker filled and
// shown through an installed message manager; a DOS text converted; an
// image sized and drawn; a unit coefficient.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/decode.h"
#include "kut/img.h"
#include "kut/msg.h"
#include "kut/msgmngr.h"
#include "kut/units.h"

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut demo [--out DIR]\n"
    "\n"
    "Runs the typical request of a host module on the sample data and prints\n"
    "each step: message 20 of the module KMAIN with its %1 marker filled and\n"
    "shown through a message manager; sample850.txt converted from DOS code\n"
    "page 850; image 0 of the module ICONS sized and drawn on the canvas; the\n"
    "coefficient from metres to millimetres. The files it writes (the\n"
    "converted text and the drawing as a BMP) go to --out DIR, or to a new\n"
    "folder under the system's temporary folder that is removed at the end\n"
    "(kept when the environment has KUT_KEEP_TMP=1).\n";

// The host's message manager: shows the message by printing it.
class PrintingManager : public KMsgMngrBase {
public:
    int Message(unsigned int id1, unsigned int id2, const wchar_t* text1, const wchar_t* text2, const wchar_t* text3,
                unsigned int style, KMsgExtInfoBase* info) override {
        OutLine("   manager shows: \"" + U8(text2 ? text2 : L"") + "\" (style 0x" + Hex(style) + ")");
        shown = true;
        return 1;  // OK
    }
    bool shown = false;

private:
    static std::string Hex(unsigned v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", v);
        return buf;
    }
};

std::string Quote(const std::wstring& text) { return "\"" + U8(text) + "\""; }

int StepMessage() {
    const KLONG id = 20;
    K_MSG msg(L"KMAIN", 1, L"", 0);
    const long logic = CONF_Language()->logic;
    wchar_t number[16];
    std::swprintf(number, 16, L"%03ld", logic);
    const std::wstring library = std::wstring(msg.m_Name) + number + L".dll";
    if (msg.wasInitError() == -1) {
        std::wstring path = KindPath(2, library);
        return Fail("message: " + U8(path) + ": cannot load the language library (" +
                    (IsFile(path) ? std::string("not a language library") : WhyUnreadable(path)) + ")");
    }
    std::wstring text = msg.text(id);
    if (text.empty()) return Fail("message: no text 20 in " + U8(library));
    OutLine("1. message 20 of module KMAIN (" + U8(library) + "): " + Quote(text));
    std::vector<wchar_t> filled(text.size() + 16, 0);
    msg.fillParam(text.c_str(), filled.data(), 1, L"12");
    OutLine("   %1 filled with 12: " + Quote(filled.data()));
    PrintingManager manager;
    KMsgMngrBase& previous = KMSG_TheMsgMngr();
    KMSG_SetMsgMngr(manager);
    int answer = KMSG_Message(0, static_cast<unsigned>(id), nullptr, filled.data(), nullptr, 0x40, nullptr);
    KMSG_SetMsgMngr(previous);  // ours goes out of scope
    if (!manager.shown) return Fail("message: the installed manager was not called");
    OutLine("   answer " + std::to_string(answer));
    return kExitOk;
}

int StepDecode(const std::wstring& outDir) {
    const short lang = 34;  // code page 850
    std::wstring source = KindPath(5, L"sample850.txt");
    if (!IsFile(source)) return Fail("decode: " + U8(source) + ": " + WhyUnreadable(source));
    REP_SetRepert(9, outDir.c_str());
    std::vector<wchar_t> dest(KUT_TMPPATH_MAX + 32, 0);
    errno = 0;
    int result = DECODE_Convert(source.c_str(), dest.data(), lang);
    const int err = errno;
    if (result == 1) return Fail("decode: cannot open " + U8(source) + ": " + WhyUnreadable(source));
    if (result != 0) {
        if (!dest[0]) return Fail("decode: no free temporary name in " + U8(outDir));
        return Fail("decode: cannot create " + U8(dest.data()) + ": " +
                    (err ? kuttools::native::ErrnoReason(err) : std::string("the file cannot be opened for writing")));
    }
    OutLine("2. sample850.txt converted, language 34 (DOS code page 850): " + U8(dest.data()));
    std::string bytes;
    std::string error;
    if (!kuttools::native::ReadFile(dest.data(), &bytes, &error)) return Fail("decode: " + error);
    // Its second line shows the accented letters.
    std::size_t first = bytes.find("\r\n");
    std::size_t second = first == std::string::npos ? std::string::npos : bytes.find("\r\n", first + 2);
    if (second == std::string::npos) return Fail("decode: " + U8(dest.data()) + ": fewer lines than the source");
    OutLine("   line 2: \"" + Cp1252ToU8(bytes.substr(first + 2, second - first - 2)) + "\"");
    return kExitOk;
}

int StepImage(const std::wstring& outDir) {
    const wchar_t* module = L"ICONS";
    IMG_SetImgFileName(nullptr);  // kestoimg.img in kind 2
    if (IMG_Init(64) != 0) {
        std::wstring path = KindPath(2, L"kestoimg.img");
        return Fail("image: " + U8(path) + ": " + (IsFile(path) ? std::string("not an image file") : WhyUnreadable(path)));
    }
    short w = 0, h = 0;
    if (IMG_ImgSize(module, 0, &w, &h) != 0) {
        IMG_Close();
        return Fail("image: no image 0 of module ICONS in " + U8(IMG_File()));
    }
    OutLine("3. image 0 of module ICONS in " + U8(IMG_File()) + ": " + std::to_string(w) + " x " + std::to_string(h));
    std::wstring bmp = Join(outDir, L"ICONS_0.bmp");
    GRAF_CanvasSize(w, h);
    short shown = IMG_Show(module, 0, 0, 0, 0);
    IMG_Close();
    if (shown != 0) return Fail("image: IMG_Show failed");
    kuttools::native::PendingOutput pending;
    std::string error;
    if (!pending.Begin(bmp, &error)) return Fail("image: " + error);
    errno = 0;
    if (GRAF_CanvasSave(pending.TempPath().c_str()) != 0) {
        const int err = errno;
        return Fail("image: cannot write " + U8(bmp) + ": " +
                    (err ? kuttools::native::ErrnoReason(err) : std::string("the drawing could not be saved")));
    }
    if (pending.Commit(&error) != 0) return Fail("image: " + error);
    OutLine("   drawn with IMG_Show, saved as " + U8(bmp));
    return kExitOk;
}

int StepUnits() {
    wchar_t from[] = L"M";
    wchar_t to[] = L"MM";
    KUT_Units units;
    double v = units.LenghtCoeff(from, to);
    const char* file = CONF_KUNITS()->raw[CONF_KUNITS_NONMETRIC] ? "uninmet.cfg" : "unimet.cfg";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    if (v < 0) {
        wchar_t path[KUT_PATH_MAX] = {0};
        short found = 0;
        std::wstring wfile = FromU8(file);
        REP_ChkCfg(270, wfile.c_str(), path, &found);
        if (!found) return Fail(std::string("units: ") + file + ": not found in " + U8(KindDir(1)) + " nor " + U8(KindDir(2)));
        // -1 the file cannot be read, -2 a count line is no number, other
        // values: no such unit.
        const std::string why = v == -1.0   ? WhyUnreadable(path)
                                : v == -2.0 ? std::string("a count line of the length section is not a number")
                                            : std::string("no unit M or MM in the length section");
        return Fail("units: " + U8(path) + ": " + why);
    }
    std::snprintf(buf, sizeof buf, "%.15g", v);
    OutLine(std::string("4. length coefficient from ") + file + ": 1 M = " + buf + " MM");
    return kExitOk;
}

}  // namespace

int CmdDemo(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {L"--out"}, {}, &p, &error)) return Usage("demo", error);
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    if (!p.positional.empty()) return Usage("demo", "no arguments expected");
    std::wstring outDir;
    bool madeDir = false;
    if (const std::wstring* v = p.Value(L"--out")) {
        outDir = Absolute(StripSeparators(*v));
        if (!IsDir(outDir)) return Fail(U8(outDir) + ": no such folder (--out)");
    } else {
        outDir = MakeTempDir("kut-demo");
        if (outDir.empty()) {
            return Fail("cannot make a folder under " + U8(kuttools::native::TempDir()) + ": " +
                        kuttools::native::ErrnoReason(errno));
        }
        madeDir = true;
    }
    OutLine("kut demo: sample data in " + U8(StripSeparators(KindDir(2))) + ", files written to " + U8(outDir));
    // A step that fails is reported and the others still run.
    int failed = 0;
    for (int (*step)(const std::wstring&) : {+[](const std::wstring&) { return StepMessage(); }, StepDecode, StepImage,
                                             +[](const std::wstring&) { return StepUnits(); }}) {
        if (step(outDir) != kExitOk) ++failed;
    }
    if (madeDir) {
        const char* keep = std::getenv("KUT_KEEP_TMP");
        if (keep && std::string(keep) == "1") {
            OutLine("files kept in " + U8(outDir) + " (KUT_KEEP_TMP=1)");
        } else {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::path(outDir), ec);  // the folder made above, nothing else
            OutLine("files removed with their folder (KUT_KEEP_TMP=1 or --out DIR keeps them)");
        }
    }
    if (failed) return Fail("demo: " + std::to_string(failed) + " of 4 steps failed");
    OutLine("done");
    return kExitOk;
}

}  // namespace kutcli
