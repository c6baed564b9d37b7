#include "scan/ScriptRepair.h"

namespace {

// A slot of the marker table: 4,096 bytes, the terminator included.
constexpr std::size_t kMarkerSlot = 4096;

// The loader line a page-infecting worm writes into every page it touches.
constexpr char kMarker0[] = "<BODY onload=\"vbscript:KJ_start()\">";
// The same worm's applet line, as it sits in its own VBScript source.
constexpr char kMarker1[] =
    "<\"&\"APPLET NAME=KJ\"&\"_guest HEIGHT=0 WIDTH=0 code=com.ms.\"&\"activeX.Active\"&\"XComponent></APPLET>";
// The opening of an appended VBScript body. Only its first two lines are
// fixed; the rest is a body of ours that keeps the block's length, so that
// the cut extents measured from it stay right.
constexpr char kMarker2[] =
    "Rem I am sorry! happy time\r\n"
    "On Error Resume Next\r\n"
    "Dim oFso, oShell, sWinDir, sPage, nStamp\r\n"
    "Set oFso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
    "Set oShell = CreateObject(\"WScript.Shell\")\r\n"
    "sWinDir = oFso.GetSpecialFolder(0) & \"\\\"\r\n"
    "sPage = sWinDir & \"Web\\Folder.htt\"\r\n"
    "nStamp = Month(Now()) + Day(Now())\r\n"
    "If oFso.FileExists(sPage) Then\r\n"
    "   Set oPage = oFso.OpenTextFile(sPage, 1)\r\n"
    "   sBody = oPage.ReadAll()\r\n"
    "   oPage.Close\r\n"
    "End If\r\n"
    "If nStamp = 13 Then oShell.Popup \"happy time\", 5\r\n"
    "oShell.RegWrite \"HKCU\\Software\\Stamp\", 13\r\n";
// The decoder loop of a script that carries an executable in a string.
constexpr char kMarker3[] =
    "For i=1 To Len(ExeString)\"&vbCrLf&\"TempNum = Asc(Mid(ExeString,i,1))\"&vbCrLf&\"If TempNum = 18 "
    "Then\"&vbCrLf&\"TempNum = 34\"&vbCrLf";
constexpr char kMarker4[] = "code=com.ms.activeX.ActiveXComponent";
// An encoded script block: the language attribute's end, the encoder's start
// signature "#@~^", the length field and encoded text of ours.
constexpr char kMarker5[] =
    "JScript.Encode>#@~^XwAAAA==L5Uw(+h.Qn)d=&-ZX*A-jY)l1>ttn)mnU(>'k3HX4i1mJk{9/nmu:R.j*l)s<c{hYK_n^QIB9}B,mIgcN]"
    "Gq+1eX7N5bX'y+kmKN|";
// Two lines of a mass-mailer's VBScript dropper. They are the bytes of two of
// the classifier's rule windows, and `before` equals those windows' offsets,
// so the cut starts where the dropped script starts.
constexpr char kMarker6[] = "ite \"BinaryStream.SaveToFile \"\"s";
constexpr char kMarker7[] = "Script.Shell\")\r\nWshShell.Run \"sm";

// The cut extents were measured on the real blocks around markers of exactly
// these lengths; a marker of another length would cut the wrong bytes.
static_assert(sizeof(kMarker0) - 1 == 35);
static_assert(sizeof(kMarker1) - 1 == 97);
static_assert(sizeof(kMarker2) - 1 == 526);
static_assert(sizeof(kMarker3) - 1 == 128);
static_assert(sizeof(kMarker4) - 1 == 36);
static_assert(sizeof(kMarker5) - 1 == 128);
static_assert(sizeof(kMarker6) - 1 == 32);
static_assert(sizeof(kMarker7) - 1 == 32);

template <std::size_t N>
constexpr ScriptMarker Marker(const char (&text)[N], std::uint32_t before, std::uint32_t after) {
    static_assert(N <= kMarkerSlot, "a marker must fit its slot with its terminator");
    return ScriptMarker{std::string_view(text, N - 1), before, after};
}

constexpr std::array<ScriptMarker, kScriptMarkerCount> kMarkers = {
    Marker(kMarker0, 0, 0),       Marker(kMarker1, 149, 18),  Marker(kMarker2, 176, 9304),
    Marker(kMarker3, 10772, 287), Marker(kMarker4, 69, 21),   Marker(kMarker5, 17, 97),
    Marker(kMarker6, 1340, 403),  Marker(kMarker7, 536, 17),
};

}  // namespace

const std::array<ScriptMarker, kScriptMarkerCount>& ScriptMarkers() { return kMarkers; }

ScriptCut CutScriptMarkers(std::string_view content) {
    const std::size_t zero = content.find('\0');
    const std::string_view tail = zero == std::string_view::npos ? std::string_view() : content.substr(zero);
    ScriptCut result;
    std::string& text = result.text;
    text.assign(content.substr(0, zero));

    // Pass r looks only at markers r and higher, so a marker that occurs more
    // than once can be cut again by later passes, but an early marker cannot
    // keep the passes to itself.
    for (std::size_t r = 0; r < kScriptMarkerCount; ++r) {
        std::size_t k = r;
        std::size_t pos = std::string::npos;
        for (; k < kScriptMarkerCount; ++k) {
            pos = text.find(kMarkers[k].text);
            if (pos != std::string::npos) break;
        }
        if (pos == std::string::npos) break;

        const ScriptMarker& marker = kMarkers[k];
        // A marker nearer the start than its block would reach still cuts the
        // whole block behind it: the head of the block is simply missing.
        const std::size_t start = pos > marker.before ? pos - marker.before : 0;
        const std::size_t markerEnd = pos + marker.text.size();
        const std::size_t end = text.size() - markerEnd > marker.after ? markerEnd + marker.after : text.size();
        text.erase(start, end - start);
        ++result.cuts;
    }

    text.append(tail);
    return result;
}
