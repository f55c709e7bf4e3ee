#include "window_choice.h"

#include <stdio.h>

#include <algorithm>

#include "bridge_contract.h"
#include "shown_text.h"

#define WINDOWS_COMMAND "bridge-host windows"

// The title's code points, case folded, at most TITLE_COMPARE_LENGTH of them. A byte
// that starts no complete UTF-8 sequence stands for itself.
static std::vector<uint32_t> FoldedPoints(const std::string& text)
{
    std::vector<uint32_t> points;
    size_t i = 0;
    while (i < text.size() && points.size() < TITLE_COMPARE_LENGTH) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
        size_t k = 1;
        while (k < length && i + k < text.size() && (text[i + k] & 0xC0) == 0x80) {
            point = point << 6 | (text[i + k] & 0x3F);
            ++k;
        }
        if (k < length) {
            point = lead;
            k = 1;
        }
        i += k;
        if ((point >= 'A' && point <= 'Z') || (point >= 0xC0 && point <= 0xDE && point != 0xD7)) {
            point += 0x20;
        }
        points.push_back(point);
    }
    return points;
}

// Edit distance with swaps of neighbours (optimal string alignment), by rows.
static size_t EditDistance(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        before.swap(previous);
        previous.swap(row);
    }
    return previous[b.size()];
}

static bool Holds(const std::vector<uint32_t>& outer, const std::vector<uint32_t>& inner)
{
    return inner.size() >= CONTAINED_TITLE_MIN &&
           std::search(outer.begin(), outer.end(), inner.begin(), inner.end()) != outer.end();
}

struct Closeness {
    int tier;       // 0 equal ignoring case, 1 near in edits, 2 one holds the other
    size_t measure; // within the tier, smaller is closer
    size_t index;
};

std::vector<std::string> CloseTitles(const std::string& title,
                                     const std::vector<std::string>& candidates, size_t most)
{
    const std::vector<uint32_t> wanted = FoldedPoints(title);
    const size_t limit = std::max<size_t>(1, wanted.size() / 3);
    std::vector<Closeness> close;
    for (size_t index = 0; index < candidates.size() && !wanted.empty(); ++index) {
        const std::vector<uint32_t> other = FoldedPoints(candidates[index]);
        const size_t lengthGap = std::max(wanted.size(), other.size()) -
                                 std::min(wanted.size(), other.size());
        size_t distance = limit + 1;
        // The distance is at least the gap in length, so most pairs need no table.
        if (lengthGap <= limit && !other.empty()) {
            distance = EditDistance(wanted, other);
        }
        if (distance == 0) {
            close.push_back({0, 0, index});
        } else if (distance <= limit) {
            close.push_back({1, distance, index});
        } else if (Holds(wanted, other) || Holds(other, wanted)) {
            close.push_back({2, lengthGap, index});
        }
    }
    std::stable_sort(close.begin(), close.end(), [](const Closeness& a, const Closeness& b) {
        return a.tier != b.tier ? a.tier < b.tier : a.measure < b.measure;
    });
    std::vector<std::string> titles;
    for (const Closeness& c : close) {
        if (titles.size() == most) {
            break;
        }
        const std::string& candidate = candidates[c.index];
        if (std::find(titles.begin(), titles.end(), candidate) == titles.end()) {
            titles.push_back(candidate);
        }
    }
    return titles;
}

static int64_t Extent(int32_t low, int32_t high)
{
    return static_cast<int64_t>(high) - low;
}

AreaVerdict JudgeArea(const WindowRect& rect, ScreenSize screen)
{
    AreaVerdict verdict;
    verdict.region = ClampRegion(screen.width, screen.height, rect.left, rect.top, rect.right,
                                 rect.bottom);
    verdict.sides = (rect.left < 0 ? SIDE_LEFT : 0) | (rect.top < 0 ? SIDE_ABOVE : 0) |
                    (rect.right > screen.width ? SIDE_RIGHT : 0) |
                    (rect.bottom > screen.height ? SIDE_BELOW : 0);
    if (Extent(rect.left, rect.right) <= 0 || Extent(rect.top, rect.bottom) <= 0) {
        verdict.fit = AREA_NO_SIZE;
    } else if (verdict.region.width <= 0 || verdict.region.height <= 0) {
        verdict.fit = AREA_OUTSIDE;
    } else {
        verdict.fit = verdict.sides == 0 ? AREA_INSIDE : AREA_PARTLY_OUTSIDE;
    }
    return verdict;
}

// "at 120,80  1026x769"
static std::string Placement(const WindowRect& rect)
{
    char text[96];
    snprintf(text, sizeof text, "at %ld,%ld  %lldx%lld", static_cast<long>(rect.left),
             static_cast<long>(rect.top), static_cast<long long>(Extent(rect.left, rect.right)),
             static_cast<long long>(Extent(rect.top, rect.bottom)));
    return text;
}

// "left of and above the main screen's origin and past the virtual screen's width, 1920"
static std::string SideNames(unsigned sides, ScreenSize screen)
{
    const char* origin = (sides & SIDE_LEFT) && (sides & SIDE_ABOVE) ? "left of and above"
                         : (sides & SIDE_LEFT)                       ? "left of"
                         : (sides & SIDE_ABOVE)                      ? "above"
                                                                     : nullptr;
    std::string names = origin != nullptr ? std::string(origin) + " the main screen's origin" : "";
    char past[96] = "";
    if ((sides & SIDE_RIGHT) && (sides & SIDE_BELOW)) {
        snprintf(past, sizeof past, "width and height, %ldx%ld", static_cast<long>(screen.width),
                 static_cast<long>(screen.height));
    } else if (sides & (SIDE_RIGHT | SIDE_BELOW)) {
        snprintf(past, sizeof past, "%s, %ld", sides & SIDE_RIGHT ? "width" : "height",
                 static_cast<long>(sides & SIDE_RIGHT ? screen.width : screen.height));
    }
    if (past[0] != '\0') {
        names += (names.empty() ? "" : " and ") + std::string("past the virtual screen's ") + past;
    }
    return names;
}

// "640x360 at 100,80"
static std::string SizeAt(int64_t width, int64_t height, int32_t left, int32_t top)
{
    char text[96];
    snprintf(text, sizeof text, "%lldx%lld at %ld,%ld", static_cast<long long>(width),
             static_cast<long long>(height), static_cast<long>(left), static_cast<long>(top));
    return text;
}

static std::string NotFoundLine(const std::string& title, const std::vector<std::string>& others)
{
    std::string line = "no window is titled " + QuotedTitle(title);
    std::vector<std::string> close = CloseTitles(title, others);
    if (close.empty()) {
        return line + " (run " WINDOWS_COMMAND " to list the windows that can be recorded)";
    }
    line += "; close titles: ";
    for (size_t i = 0; i < close.size(); ++i) {
        line += (i > 0 ? ", " : "") + QuotedTitle(close[i]);
    }
    return line + " (run " WINDOWS_COMMAND " to list them)";
}

TargetCheck CheckTarget(const std::string& title, const TargetState& target, ScreenSize screen,
                        const std::vector<std::string>& otherTitles)
{
    if (!target.found) {
        return {TARGET_REFUSED, NotFoundLine(title, otherTitles), ""};
    }
    const std::string quoted = QuotedTitle(title);
    if (target.minimised) {
        return {TARGET_REFUSED, quoted + " is minimised: restore it and keep it uncovered while "
                                         "recording", ""};
    }
    if (!target.visible) {
        return {TARGET_REFUSED, quoted + " is hidden: show it and keep it uncovered while "
                                         "recording (run " WINDOWS_COMMAND " to list the "
                                         "windows shown)", ""};
    }
    if (target.cloaked) {
        return {TARGET_REFUSED, quoted + " is on another virtual desktop (the system cloaks "
                                         "it): switch to that desktop, or move the window to "
                                         "this one (Task View, right-click it, Move to), and "
                                         "record it there", ""};
    }
    const AreaVerdict area = JudgeArea(target.rect, screen);
    const WindowRect& r = target.rect;
    const std::string sameTitle =
        target.sameTitles < 2
            ? ""
            : std::to_string(target.sameTitles) + " windows are titled " + quoted +
                  ": the one in front will be recorded, " + Shown(target.program) + " " +
                  Placement(r);
    const std::string where =
        quoted + " (" + SizeAt(Extent(r.left, r.right), Extent(r.top, r.bottom), r.left, r.top) +
        ")";
    switch (area.fit) {
    case AREA_NO_SIZE:
        return {TARGET_REFUSED, where + " has no size: make it larger or choose another window", ""};
    case AREA_OUTSIDE:
        return {TARGET_REFUSED, where + " lies wholly outside the area that can be recorded (" +
                                    SideNames(area.sides, screen) +
                                    "): move it onto the main screen", ""};
    case AREA_PARTLY_OUTSIDE:
        return {TARGET_WARNING, where + " is partly outside the area that can be recorded (" +
                                    SideNames(area.sides, screen) + "): only " +
                                    SizeAt(area.region.width, area.region.height, area.region.left,
                                           area.region.top) +
                                    " will be recorded; move it onto the main screen to record "
                                    "it whole",
                sameTitle};
    case AREA_INSIDE:
        break;
    }
    return {TARGET_OK, where + " will be recorded whole", sameTitle};
}

std::string QuotedTitle(const std::string& title)
{
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : Shown(title)) {
        if (c == '\\') {
            ++backslashes;
        } else {
            // Backslashes before a quote are read as escapes, so each is doubled and
            // one more escapes the quote; before anything else they stand for themselves.
            if (c == '"') {
                quoted.append(backslashes + 1, '\\');
            }
            backslashes = 0;
        }
        quoted += c;
    }
    // So are those before the closing quote.
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

void MarkSameTitles(std::vector<WindowEntry>& windows)
{
    for (size_t front = 0; front < windows.size(); ++front) {
        for (size_t behind = front + 1; behind < windows.size(); ++behind) {
            if (windows[behind].title == windows[front].title &&
                windows[front].sameTitle != SAME_TITLE_BEHIND) {
                windows[front].sameTitle = SAME_TITLE_FRONT;
                windows[behind].sameTitle = SAME_TITLE_BEHIND;
            }
        }
    }
}

std::string FormatWindowLine(const WindowEntry& window, ScreenSize screen)
{
    std::string line = QuotedTitle(window.title) + "  " + Shown(window.program) + "  " +
                       Placement(window.rect);
    const AreaVerdict area = JudgeArea(window.rect, screen);
    if (window.cloaked) {
        line += "  cloaked: on another virtual desktop";
    } else if (window.minimised) {
        line += "  minimised";
    } else if (area.fit == AREA_PARTLY_OUTSIDE) {
        line += "  partly outside the recordable area";
    } else if (area.fit == AREA_OUTSIDE) {
        line += "  outside the recordable area";
    } else if (area.fit == AREA_NO_SIZE) {
        line += "  no size";
    }
    if (window.sameTitle == SAME_TITLE_FRONT) {
        line += "  same title as a window behind it; this one is recorded";
    } else if (window.sameTitle == SAME_TITLE_BEHIND) {
        line += "  same title as a window in front of it, which is recorded";
    }
    // Only the title is in question: any folder with its end will do.
    const char folder[] = {TOOL_FOLDER_END, '\0'};
    const char* problem = lumaro_bridge_check_command_line(window.title.c_str(), folder);
    if (!window.narrowLossless) {
        line += "  cannot be recorded: the title has characters outside the system code page";
    } else if (problem != nullptr) {
        line += std::string("  cannot be recorded: ") + problem;
    }
    return line;
}
