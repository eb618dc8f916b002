// kut img: image files listed, taken apart, built and drawn. One action is
// not in the help: `samples <folder>` draws the sample bitmaps of data/img
// again (samples.h), for whoever changes the sample data.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "imgfile.h"
#include "kut/img.h"
#include "pngio.h"
#include "samples.h"

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut img list [--file F]\n"
    "       kut img size <module> <n> [--file F]\n"
    "       kut img extract <module> <n> <out.bmp> [--file F] [-n]\n"
    "       kut img sheet <module> <out.bmp> [--columns N] [--gap N] [--file F] [-n]\n"
    "       kut img build <folder> <out.img> [-n]\n"
    "\n"
    "list     modules and images of an image file, with sizes\n"
    "size     width and height of image n of a module (IMG_ImgSize)\n"
    "extract  image n of a module as the BMP file stored in the image file\n"
    "sheet    the images of a module drawn side by side with IMG_Show, saved\n"
    "         as a BMP (--columns per row, default 16; --gap pixels, default 4)\n"
    "build    an image file from a folder with one subfolder of BMPs per module\n"
    "         (PNG sources too, stored as 24-bit BMP)\n"
    "extract and sheet write PNG when the output name ends in .png\n"
#if !defined(KUT_HAVE_PNG)
    "(not in this build: it was made without a PNG library)\n"
#endif
    "\n"
    "  --file F           the image file (default: kestoimg.img in kind 2)\n"
    "  -n, --no-clobber   keep an existing output file (nothing is written)\n"
    "extract, sheet and build write their file under a temporary name and put it\n"
    "in place when it is complete; they refuse to write over one of their inputs.\n";

std::wstring ImageFile(const Parsed& p) {
    if (const std::wstring* f = p.Value(L"--file")) return *f;
    return KindPath(2, L"kestoimg.img");
}

// Module names are single-byte text of at most 7 characters.
bool ModuleName(const std::wstring& w, std::string* out) {
    if (w.empty() || w.size() > 7) return false;
    out->clear();
    for (wchar_t c : w) {
        if (c <= 0 || static_cast<unsigned long>(c) > 0xFF) return false;
        *out += static_cast<char>(c);
    }
    return true;
}

bool ImageNumber(const std::wstring& w, int* n) {
    long v = 0;
    if (!ParseNumber(w, 0, 32767, &v)) return false;
    *n = static_cast<int>(v);
    return true;
}

// kuttools' reasons do not always name the file.
std::string WithFile(const std::wstring& file, const std::string& error) {
    std::string name = U8(file);
    if (error.find(name) != std::string::npos || error.compare(0, 12, "cannot write") == 0) return error;
    return name + ": " + error;
}

// Why module/image cannot be had from the file, from its listing.
std::string WhyNoImage(const std::wstring& file, const std::string& module, int image) {
    std::vector<kuttools::ImgModuleInfo> modules;
    std::string error;
    if (!kuttools::ListImageFile(file, &modules, &error)) return WithFile(file, error);
    for (const auto& m : modules) {
        if (m.name != module) continue;
        if (image >= static_cast<int>(m.images.size())) {
            return U8(file) + ": module " + module + " has " + std::to_string(m.images.size()) + " images, no image " +
                   std::to_string(image);
        }
        return U8(file) + ": image " + std::to_string(image) + " of module " + module + " cannot be read";
    }
    return U8(file) + ": no module " + module;
}

int CheckFile(const std::wstring& file) {
    if (!IsFile(file)) return Fail(U8(file) + ": " + WhyUnreadable(file));
    return kExitOk;
}

int List(const Parsed& p) {
    if (p.positional.size() != 1) return Usage("img", "list takes no arguments (the file comes with --file)");
    std::wstring file = ImageFile(p);
    if (int s = CheckFile(file)) return s;
    std::vector<kuttools::ImgModuleInfo> modules;
    std::string error;
    if (!kuttools::ListImageFile(file, &modules, &error)) return Fail(WithFile(file, error));
    Out(kuttools::FormatListing(modules));
    return kExitOk;
}

int Size(const Parsed& p) {
    std::string module;
    int n = 0;
    if (p.positional.size() != 3) return Usage("img", "size takes a module and an image number");
    if (!ModuleName(p.positional[1], &module)) return Usage("img", "bad module name '" + U8(p.positional[1]) + "'");
    if (!ImageNumber(p.positional[2], &n)) return Usage("img", "bad image number '" + U8(p.positional[2]) + "'");
    std::wstring file = ImageFile(p);
    if (int s = CheckFile(file)) return s;
    IMG_SetImgPathFileName(file.c_str());
    short w = 0, h = 0;
    short r = IMG_ImgSize(p.positional[1].c_str(), static_cast<short>(n), &w, &h);
    IMG_Close();
    if (r != 0) return Fail(WhyNoImage(file, module, n));
    OutLine(std::to_string(w) + " x " + std::to_string(h));
    return kExitOk;
}

int Extract(const Parsed& p) {
    std::string module;
    int n = 0;
    if (p.positional.size() != 4) return Usage("img", "extract takes a module, an image number and an output file");
    if (!ModuleName(p.positional[1], &module)) return Usage("img", "bad module name '" + U8(p.positional[1]) + "'");
    if (!ImageNumber(p.positional[2], &n)) return Usage("img", "bad image number '" + U8(p.positional[2]) + "'");
    std::wstring file = ImageFile(p);
    if (int s = CheckFile(file)) return s;
    const int checked = CheckOutput({file}, p.positional[3], NoClobber(p));
    if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    std::string error;
    auto write = [&](const std::wstring& out, std::string* e) {
        return kuttools::ExtractImage(file, module, n, out, e, OutputReplace(p));
    };
    if (!(kuttools::IsPngName(p.positional[3]) ? kuttools::WriteBmpAsPng(p.positional[3], write, &error, OutputReplace(p))
                                               : write(p.positional[3], &error))) {
        return Fail(WithFile(file, error));
    }
    return kExitOk;
}

int Sheet(const Parsed& p) {
    std::string module;
    long columns = 16, gap = 4;
    if (p.positional.size() != 3) return Usage("img", "sheet takes a module and an output file");
    if (!ModuleName(p.positional[1], &module)) return Usage("img", "bad module name '" + U8(p.positional[1]) + "'");
    if (const std::wstring* v = p.Value(L"--columns")) {
        if (!ParseNumber(*v, 0, 1000, &columns)) return Usage("img", "bad column count '" + U8(*v) + "'");
    }
    if (const std::wstring* v = p.Value(L"--gap")) {
        if (!ParseNumber(*v, 0, 1000, &gap)) return Usage("img", "bad gap '" + U8(*v) + "'");
    }
    std::wstring file = ImageFile(p);
    if (int s = CheckFile(file)) return s;
    const int checked = CheckOutput({file}, p.positional[2], NoClobber(p));
    if (checked != kExitOk) return checked == kSkip ? kExitOk : checked;
    std::string error;
    auto write = [&](const std::wstring& out, std::string* e) {
        return kuttools::RenderSheet(file, module, out, static_cast<int>(columns), static_cast<int>(gap), e, OutputReplace(p));
    };
    if (!(kuttools::IsPngName(p.positional[2]) ? kuttools::WriteBmpAsPng(p.positional[2], write, &error, OutputReplace(p))
                                               : write(p.positional[2], &error))) {
        return Fail(WithFile(file, error));
    }
    return kExitOk;
}

int Build(const Parsed& p) {
    if (p.positional.size() != 3) return Usage("img", "build takes a folder and an output file");
    if (!IsDir(p.positional[1])) return Fail(U8(p.positional[1]) + ": no such folder");
    // The bitmaps are checked against the output as they are found.
    const int checked = CheckOutput({}, p.positional[2], false);
    if (checked != kExitOk) return checked;
    std::string error;
    if (!kuttools::BuildImageFile(p.positional[1], p.positional[2], &error, OutputReplace(p))) return Fail(error);
    return kExitOk;
}

int Samples(const Parsed& p) {
    if (p.positional.size() != 2) return Usage("img", "samples takes a folder");
    std::string error;
    if (!WriteSamples(p.positional[1], &error, OutputReplace(p))) return Fail(error);
    return kExitOk;
}

}  // namespace

int CmdImg(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {L"--file", L"--columns", L"--gap"}, {L"-n", L"--no-clobber"}, &p, &error)) return Usage("img", error);
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    if (p.positional.empty()) return Usage("img", "missing action: list, size, extract, sheet or build");
    const std::wstring& action = p.positional[0];
    if (action == L"list") return List(p);
    if (action == L"size") return Size(p);
    if (action == L"extract") return Extract(p);
    if (action == L"sheet") return Sheet(p);
    if (action == L"build") return Build(p);
    if (action == L"samples") return Samples(p);
    return Usage("img", "unknown action '" + U8(action) + "'");
}

}  // namespace kutcli
