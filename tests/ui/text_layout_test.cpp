// Text layout to quads: blanks, line breaks, tab stops and colour escapes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/text_layout.h"
#include "ui_test_util.h"

namespace {

const text_colour grey{0.5f, 0.5f, 0.5f, 0.8f};
// The sheet's glyphs are all half a line wide; a space is half an "n".
constexpr float space = 0.25f;

std::vector<text_quad> lay(const std::string& text, bool codes = true, text_colour c = grey) {
    static const font f = half_width_font();
    std::vector<text_quad> q;
    layout_text(f, text.c_str(), c, codes, q);
    return q;
}

void expect_colour(const text_colour& c, float r, float g, float b, float a) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

}  // namespace

TEST(text_layout, PositionsFollowAdvancesBlanksAndLineBreaks) {
    // Leading blanks are skipped; later spaces advance by the space width.
    std::vector<text_quad> q = lay("  \tab c");
    ASSERT_EQ(q.size(), 3u);
    EXPECT_FLOAT_EQ(q[0].x0, 0);
    EXPECT_FLOAT_EQ(q[0].x1, 0.5f);
    EXPECT_FLOAT_EQ(q[1].x0, 0.5f);
    EXPECT_FLOAT_EQ(q[2].x0, 1.0f + space);
    EXPECT_FLOAT_EQ(q[2].y0, 0);
    EXPECT_FLOAT_EQ(q[2].y1, 1);

    q = lay("ab\rc");  // carriage return: back to the line start, same line
    ASSERT_EQ(q.size(), 3u);
    EXPECT_FLOAT_EQ(q[2].x0, 0);
    EXPECT_FLOAT_EQ(q[2].y0, 0);

    q = lay("ab\ncd\n\ne");  // line feed: down one line and back
    ASSERT_EQ(q.size(), 5u);
    EXPECT_FLOAT_EQ(q[2].x0, 0);
    EXPECT_FLOAT_EQ(q[2].y0, 1);
    EXPECT_FLOAT_EQ(q[3].x0, 0.5f);
    EXPECT_FLOAT_EQ(q[4].y0, 3);
}

TEST(text_layout, TabsGoToTheNextMultipleOfEightSpaceWidths) {
    const float stop = 8 * space;
    std::vector<text_quad> q = lay("a\tb");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_NEAR(q[1].x0, stop, 1e-5);
    // Five glyphs reach 2.5, past the first stop: the tab goes to the second.
    q = lay("aaaaa\tb");
    EXPECT_NEAR(q.back().x0, 2 * stop, 1e-5);
    // A tab on a stop moves a whole stop on; two tabs make two stops.
    q = lay("a\t\tb");
    EXPECT_NEAR(q.back().x0, 2 * stop, 1e-5);
    // Tab stops count from the start of the line after a line feed.
    q = lay("aaaaaaaaaaaaaaaaaaaaaaaa\na\tb");
    EXPECT_NEAR(q.back().x0, stop, 1e-5);
    EXPECT_FLOAT_EQ(q.back().y0, 1);
}

TEST(text_layout, ColourEscapesPickPaletteEntriesAndBold) {
    std::vector<text_quad> q = lay("a\033[31mb\033[0mc");
    ASSERT_EQ(q.size(), 3u);
    expect_colour(q[0].colour, 0.5f, 0.5f, 0.5f, 0.8f);
    expect_colour(q[1].colour, 0.75f, 0, 0, 0.8f);  // red at 0.75, the caller's alpha
    expect_colour(q[2].colour, 0.5f, 0.5f, 0.5f, 0.8f);
    EXPECT_FLOAT_EQ(q[1].x0, 0.5f);  // the sequence takes no room

    q = lay("\033[1;31mb");
    ASSERT_EQ(q.size(), 1u);
    expect_colour(q[0].colour, 1, 0, 0, 0.8f);

    // Bold on the caller's colour brightens each channel by 0.25, at most 1.
    q = lay("\033[1mb\033[22mc", true, text_colour{0.5f, 0.9f, 0.1f, 1});
    ASSERT_EQ(q.size(), 2u);
    expect_colour(q[0].colour, 0.75f, 1, 0.35f, 1);
    expect_colour(q[1].colour, 0.5f, 0.9f, 0.1f, 1);

    // No number resets; 37 is white at 0.75, 30 black stays black when bold.
    q = lay("\033[37ma\033[mb\033[1;30mc");
    ASSERT_EQ(q.size(), 3u);
    expect_colour(q[0].colour, 0.75f, 0.75f, 0.75f, 0.8f);
    expect_colour(q[1].colour, 0.5f, 0.5f, 0.5f, 0.8f);
    expect_colour(q[2].colour, 0, 0, 0, 0.8f);

    for (int i = 0; i < 16; i++) {
        text_colour c = palette_colour(i);
        float level = i >= 8 ? 1.0f : 0.75f;
        EXPECT_FLOAT_EQ(c.r, i & 1 ? level : 0) << i;
        EXPECT_FLOAT_EQ(c.g, i & 2 ? level : 0) << i;
        EXPECT_FLOAT_EQ(c.b, i & 4 ? level : 0) << i;
    }
}

TEST(text_layout, ShadowsIgnoreColourCodes) {
    std::vector<text_quad> q = lay("\033[1;32mab", false, text_colour{0, 0, 0, 0.4f});
    ASSERT_EQ(q.size(), 2u);
    for (const text_quad& t : q) expect_colour(t.colour, 0, 0, 0, 0.4f);
}

TEST(text_layout, OtherAndBrokenSequencesAreSkippedSafely) {
    // Non-colour sequences vanish without changing the colour.
    std::vector<text_quad> q = lay("\033[2Ja\033(Bb\033[5;7Hc");
    ASSERT_EQ(q.size(), 3u);
    for (const text_quad& t : q) expect_colour(t.colour, 0.5f, 0.5f, 0.5f, 0.8f);
    EXPECT_FLOAT_EQ(q[2].x0, 1.0f);

    // A sequence cut off by the end of the text ends the text.
    EXPECT_EQ(lay("a\033[31").size(), 1u);
    EXPECT_EQ(lay("a\033[").size(), 1u);
    EXPECT_EQ(lay("a\033").size(), 1u);
    EXPECT_EQ(lay("\033[1;3").size(), 0u);
    escape_state s;
    EXPECT_EQ(parse_escape("\033[31", s), 4u);
    EXPECT_EQ(s.palette, -1);
}

TEST(text_layout, ColourSequenceReadsAtMostSixtyFourNumbers) {
    std::string within = "\033[";
    for (int i = 0; i < 63; i++) within += "0;";
    within += "31mx";
    std::vector<text_quad> q = lay(within);
    ASSERT_EQ(q.size(), 1u);
    expect_colour(q[0].colour, 0.75f, 0, 0, 0.8f);

    std::string beyond = "\033[";
    for (int i = 0; i < 64; i++) beyond += "0;";
    beyond += "31mx";
    q = lay(beyond);
    ASSERT_EQ(q.size(), 1u);  // the whole sequence is still skipped
    expect_colour(q[0].colour, 0.5f, 0.5f, 0.5f, 0.8f);

    // Numbers too long for an int are just an unknown code.
    q = lay("\033[99999999999999999999999;32mx");
    ASSERT_EQ(q.size(), 1u);
    expect_colour(q[0].colour, 0, 0.75f, 0, 0.8f);
}

TEST(text_layout, WidthIsTheLongestLineWithEscapesSkipped) {
    const font f = half_width_font();
    EXPECT_FLOAT_EQ(text_width(f, "abcd"), 2.0f);
    EXPECT_FLOAT_EQ(text_width(f, "\033[1;31mab\033[0mcd"), 2.0f);
    EXPECT_FLOAT_EQ(text_width(f, "abcdef\nab"), 3.0f);
    EXPECT_FLOAT_EQ(text_width(f, "  ab"), 1.0f);
    EXPECT_NEAR(text_width(f, "a\t"), 8 * space, 1e-5);
    EXPECT_FLOAT_EQ(text_width(f, ""), 0);
    EXPECT_FLOAT_EQ(text_width(f, nullptr), 0);
    EXPECT_EQ(text_line_count("a\nb\n"), 3);
    // Characters outside the sheet advance by the default and draw nothing.
    std::vector<text_quad> q;
    layout_text(f, "a\x01\xe9" "b", grey, true, q);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_FLOAT_EQ(q[1].x0, 0.5f + 2 * default_advance);
}
