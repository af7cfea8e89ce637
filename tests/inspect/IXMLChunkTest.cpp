#include "inspect/IXMLChunk.h"

#include "TestAudio.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vaun {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::optional<IXMLChunk> parse(const std::string& text) { return IXMLChunk::parse(bytes(text)); }

std::string document(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>" + body + "</BWFXML>\n";
}

// `depth` elements, each inside the previous one, the outermost being the root.
std::string nested(int depth) {
    std::string open = "<BWFXML>", close = "</BWFXML>";
    for (int i = 1; i < depth; ++i) {
        open += "<L>";
        close.insert(0, "</L>");
    }
    return open + close;
}

TEST(IXMLChunk, ReadsTheFactsOfATypicalDocument) {
    const auto chunk = parse(document(R"(
  <IXML_VERSION>2.10</IXML_VERSION>
  <PROJECT> Harbour Film </PROJECT>
  <SCENE>12A</SCENE>
  <TAKE>3</TAKE>
  <CIRCLED>TRUE</CIRCLED>
  <UBITS>00000000</UBITS>
  <TAPE>Day 4</TAPE>
  <NOTE>
    wind from the north
  </NOTE>
  <FILE_SET><TOTAL_FILES>1</TOTAL_FILES><FAMILY_UID>USSDVAI12345</FAMILY_UID></FILE_SET>
  <TRACK_LIST>
    <TRACK_COUNT>2</TRACK_COUNT>
    <TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME>Boom</NAME></TRACK>
    <TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>Lav</NAME>
      <FUNCTION>L</FUNCTION></TRACK>
  </TRACK_LIST>
  <SPEED><NOTE>23.976 ND</NOTE><MASTER_SPEED attr="x">24000/1001</MASTER_SPEED>
    <TIMECODE_RATE>24000/1001</TIMECODE_RATE><TIMECODE_FLAG>NDF</TIMECODE_FLAG>
    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>
    <TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>2190940753</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>
    <TIMESTAMP_SAMPLE_RATE>48000</TIMESTAMP_SAMPLE_RATE></SPEED>)"));
    ASSERT_TRUE(chunk);
    IXMLChunk expected;
    expected.project = "Harbour Film", expected.scene = "12A", expected.tape = "Day 4", expected.track = "Boom";
    expected.notes = "wind from the north", expected.take = "3", expected.circled = "TRUE", expected.ubits = "00000000", expected.familyUID = "USSDVAI12345";
    expected.speedNote = "23.976 ND", expected.timecodeRate = "24000/1001", expected.timecodeFlag = "NDF";
    expected.timestampSamplesHigh = "0", expected.timestampSamplesLow = "2190940753", expected.timestampSampleRate = "48000";
    expected.tracks = {{"1", "2", "Boom", std::nullopt}, {"2", "1", "Lav", "L"}};
    EXPECT_EQ(*chunk, expected);
}

TEST(IXMLChunk, RootWithoutCollectedChildrenGivesAnEmptyRecord) {
    EXPECT_EQ(parse("<BWFXML/>"), IXMLChunk{});
    EXPECT_EQ(parse(document("<OTHER>x</OTHER><SCENE>   </SCENE>")), IXMLChunk{});
}

TEST(IXMLChunk, OnlyABWFXMLRootIsAccepted) {
    EXPECT_FALSE(parse("<bwfxml><PROJECT>p</PROJECT></bwfxml>"));
    EXPECT_FALSE(parse("<IXML><PROJECT>p</PROJECT></IXML>"));
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("just text"));
    EXPECT_FALSE(parse("<BWFXML><PROJECT>p</BWFXML>"));
    EXPECT_FALSE(parse("<BWFXML><PROJECT>&undefined;</PROJECT></BWFXML>"));
}

TEST(IXMLChunk, PayloadSizeIsBounded) {
    const std::string doc = document("<PROJECT>p</PROJECT>");
    std::string exact = doc + std::string(1048576 - doc.size(), ' ');
    ASSERT_EQ(exact.size(), 1048576u);
    ASSERT_TRUE(parse(exact));
    EXPECT_EQ(parse(exact)->project, "p");
    EXPECT_FALSE(parse(exact + " "));

    EXPECT_TRUE(IXMLChunk::parse(bytes(doc), static_cast<std::int64_t>(doc.size())));
    EXPECT_FALSE(IXMLChunk::parse(bytes(doc), static_cast<std::int64_t>(doc.size()) - 1));
    EXPECT_FALSE(IXMLChunk::parse(bytes(doc), 0));
    EXPECT_FALSE(IXMLChunk::parse(bytes(doc), -1));
}

TEST(IXMLChunk, TrailingNulsArePaddingButAnInnerNulIsInvalid) {
    const std::string doc = document("<SCENE>7</SCENE>");
    EXPECT_EQ(parse(doc + std::string(500, '\0')), parse(doc));
    EXPECT_EQ(parse(doc + std::string(500, '\0'))->scene, "7");
    EXPECT_FALSE(parse(document(std::string("<SCENE>7\0</SCENE>", 17))));
    EXPECT_FALSE(parse(std::string("\0", 1) + doc));
}

TEST(IXMLChunk, TextMustBeUTF8) {
    EXPECT_EQ(parse(document("<TAPE>Bänd</TAPE>"))->tape, "Bänd");
    EXPECT_FALSE(parse(document("<TAPE>B\xE4nd</TAPE>")));
    EXPECT_FALSE(parse(document("<TAPE>\xED\xA0\x80</TAPE>")));
    EXPECT_FALSE(parse(document("<TAPE>\xC0\xAF</TAPE>")));
}

TEST(IXMLChunk, DeclarationsAndEntitiesAreRefusedInAnyCase) {
    test::TempDir dir;
    {
        std::ofstream secret(dir / "secret.xml");
        secret << "<PROJECT>leaked</PROJECT>";
    }
    const std::string external = "<!DOCTYPE BWFXML [<!ENTITY ext SYSTEM \"" + (dir / "secret.xml").string() +
                                 "\">]><BWFXML>&ext;</BWFXML>";
    for (const std::string& doc : {
             std::string("<!DOCTYPE BWFXML><BWFXML><SCENE>1</SCENE></BWFXML>"),
             std::string("<!doctype BWFXML><BWFXML><SCENE>1</SCENE></BWFXML>"),
             std::string("<!DocType BWFXML><BWFXML><SCENE>1</SCENE></BWFXML>"),
             std::string("<!DOCTYPE BWFXML [<!ENTITY e \"x\">]><BWFXML><SCENE>&e;</SCENE></BWFXML>"),
             std::string("<!DOCTYPE BWFXML [<!ENTITY % p \"x\">]><BWFXML/>"),
             // Quoted in text or a comment still counts.
             document("<NOTE><![CDATA[<!entity]]></NOTE>"),
             document("<!-- <!Doctype --><SCENE>1</SCENE>"),
             external,
         })
        EXPECT_FALSE(parse(doc)) << doc;
}

TEST(IXMLChunk, OnlyDirectChildrenOfTheRootCount) {
    const auto chunk = parse(document("<META><PROJECT>inner</PROJECT></META><SCENE>s<PROJECT>x</PROJECT></SCENE>"));
    ASSERT_TRUE(chunk);
    EXPECT_FALSE(chunk->project);
    // Text belongs to the element that directly holds it.
    EXPECT_EQ(chunk->scene, "s");
}

TEST(IXMLChunk, FirstNonEmptyOccurrenceWins) {
    EXPECT_EQ(parse(document("<SCENE>1</SCENE><SCENE>2</SCENE>"))->scene, "1");
    EXPECT_EQ(parse(document("<SCENE></SCENE><SCENE> \n </SCENE><SCENE>2</SCENE><SCENE>3</SCENE>"))->scene, "2");
}

TEST(IXMLChunk, TrackIsTheTrackElementElseTheFirstTrackName) {
    const std::string list =
        "<TRACK_LIST><TRACK><NAME></NAME></TRACK><TRACK><NAME>Lav 1</NAME></TRACK><TRACK><NAME>Lav 2</NAME></TRACK>"
        "</TRACK_LIST>";
    EXPECT_EQ(parse(document(list))->track, "Lav 1");
    EXPECT_EQ(parse(document(list + "<TRACK>Main</TRACK>"))->track, "Main");
    EXPECT_EQ(parse(document("<TRACK>  </TRACK>" + list))->track, "Lav 1");
    // A NAME directly under the root also names the track; one under another element does not.
    EXPECT_EQ(parse(document("<NAME>Direct</NAME>" + list))->track, "Direct");
    EXPECT_FALSE(parse(document("<TRACK_LIST><CHANNEL><NAME>x</NAME></CHANNEL></TRACK_LIST>"))->track);
}

TEST(IXMLChunk, NestingIsLimitedTo32Levels) {
    EXPECT_EQ(parse(nested(32)), IXMLChunk{});
    EXPECT_FALSE(parse(nested(33)));
    EXPECT_FALSE(parse(nested(5000)));
}

TEST(IXMLChunk, ElementCountIsLimitedTo8192) {
    std::string children;
    for (int i = 0; i < 8190; ++i) children += "<X/>";
    EXPECT_EQ(parse(document(children + "<SCENE>last</SCENE>"))->scene, "last"); // 8,192 with the root
    EXPECT_FALSE(parse(document(children + "<X/><SCENE>last</SCENE>")));
}

TEST(IXMLChunk, TextIsJoinedTrimmedAndBounded) {
    // Entity and character references and line breaks split the text into several callbacks.
    EXPECT_EQ(parse(document("<NOTE>\r\n\t a &amp; b &#x263A;\r\nc\xC2\xA0\xE3\x80\x80 </NOTE>"))->notes,
              "a & b \xE2\x98\xBA\nc");
    EXPECT_EQ(parse(document("<NOTE>Take <![CDATA[<5> & more]]> done</NOTE>"))->notes, "Take <5> & more done");
    EXPECT_EQ(parse(document("<NOTE><![CDATA[  only cdata ]]></NOTE>"))->notes, "only cdata");

    // 65,536 bytes of two-byte characters are fine; one byte more is not, wherever it sits.
    std::string limit;
    for (int i = 0; i < 32768; ++i) limit += "\xC3\xA9";
    EXPECT_EQ(parse(document("<NOTE>" + limit + "</NOTE>"))->notes, limit);
    EXPECT_FALSE(parse(document("<NOTE>" + limit + "x</NOTE>")));
    EXPECT_FALSE(parse(document("<NOTE>" + limit + "<![CDATA[x]]></NOTE>")));
    EXPECT_FALSE(parse(document("<OTHER>" + limit + "&amp;</OTHER>")));
    // Text is counted per element, not per document.
    EXPECT_EQ(parse(document("<NOTE>" + limit + "</NOTE><SCENE>" + limit + "</SCENE>"))->scene, limit);
}

} // namespace
} // namespace vaun
