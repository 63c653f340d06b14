// Encoders and address rules on their own, without a server.

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "support/MailAddresses.h"
#include "support/MimeEncoding.h"
#include "support/MimeMessage.h"

namespace quarn::support {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

struct Encoding {
  std::string input;
  std::string expected;
};

TEST(MimeQuotedPrintable, EscapesWhatIsNotPlainTextAndKeepsCrLfBreaks) {
  const std::vector<Encoding> cases = {
      {"plain text", "plain text"},
      {"a=b", "a=3Db"},
      {"ends with blank ", "ends with blank=20"},
      {"ends with tab\t", "ends with tab=09"},
      {"blank before break \r\nnext", "blank before break=20\r\nnext"},
      {"lone\nfeed and lone\rreturn", "lone=0Afeed and lone=0Dreturn"},
      {"\xB0"
       "C \x80",
       "=B0C =80"},
      {".starts with a dot", ".starts with a dot"},
      {"", ""},
      {std::string(76, 'a'), std::string(76, 'a')},
      {std::string(77, 'a'), std::string(75, 'a') + "=\r\n" + "aa"},
      {std::string(74, 'a') + "==", std::string(74, 'a') + "=\r\n=3D=3D"},
  };
  for (const Encoding& c : cases) EXPECT_EQ(EncodeQuotedPrintable(c.input), c.expected) << c.input;
}

TEST(MimeQuotedPrintable, NoLineIsLongerThan76OnArbitraryBytes) {
  std::mt19937 random(7);
  std::string bytes(20000, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  for (const std::string& line : Lines(EncodeQuotedPrintable(bytes))) {
    ASSERT_LE(line.size(), 76u);
    ASSERT_EQ(line.find_first_not_of("!\"#$%&'()*+,-./0123456789:;<>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                     "abcdefghijklmnopqrstuvwxyz{|}~=\t "),
              std::string::npos)
        << line;
  }
}

TEST(MimeBase64Lines, MatchesTheStandardVectorsAndBreaksAt76) {
  const std::vector<Encoding> cases = {{"", ""},
                                       {"f", "Zg=="},
                                       {"fo", "Zm8="},
                                       {"foo", "Zm9v"},
                                       {"foob", "Zm9vYg=="},
                                       {"fooba", "Zm9vYmE="},
                                       {"foobar", "Zm9vYmFy"}};
  for (const Encoding& c : cases) EXPECT_EQ(EncodeBase64Lines(c.input), c.expected) << c.input;

  const std::vector<std::string> lines = Lines(EncodeBase64Lines(std::string(200, 'x')));
  ASSERT_EQ(lines.size(), 4u);  // 200 bytes -> 268 characters
  EXPECT_EQ(lines[0].size(), 76u);
  EXPECT_EQ(lines[3].size(), 268u - 3 * 76);
}

TEST(MimeHeaderText, AsciiStaysAndOtherTextBecomesShortEncodedWords) {
  EXPECT_EQ(EncodeHeaderText("Query support"), "Query support");
  const std::string subject = "Prüfbericht Sensor №42 – Nullpunkt und Spanne, Temperatur 25 °C, alles in Ordnung";
  const std::string encoded = EncodeHeaderText(subject);
  for (const std::string& line : Lines(encoded)) {
    const std::string word = line.substr(line.find_first_not_of(' '));
    EXPECT_LE(word.size(), 75u);
    EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
  }
  EXPECT_GT(Lines(encoded).size(), 1u);
}

TEST(MimeMailDate, UsesEnglishNamesAndANumericZone) {
  const std::string date = MailDate(0);
  // 1 January 1970 was a Thursday; west of Greenwich it is still 31 December, a Wednesday.
  EXPECT_TRUE(date.rfind("Thu, 1 Jan 1970 ", 0) == 0 || date.rfind("Wed, 31 Dec 1969 ", 0) == 0) << date;
  EXPECT_TRUE(date[date.size() - 5] == '+' || date[date.size() - 5] == '-') << date;
}

TEST(MailSender, BareAddressUnlessANameIsGiven) {
  struct Case {
    std::string name;
    std::string email;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "engineer@example.com", "engineer@example.com"},
      {"   ", "engineer@example.com", "engineer@example.com"},
      {"Test Message from WENLO", "a@example.com", "\"Test Message from WENLO\" <a@example.com>"},
      {" padded ", "a@example.com", "\" padded \" <a@example.com>"},
      {"say \"hi\"", "a@example.com", "\"say \\\"hi\\\"\" <a@example.com>"},
      {"Jörg", "a@example.com", "=?UTF-8?B?SsO2cmc=?= <a@example.com>"},
  };
  for (const Case& c : cases) EXPECT_EQ(SenderValue(c.name, c.email), c.expected) << c.name;
}

TEST(MailRecipients, SplitOnCommasOutsideQuotesAndTakeTheAddressPart) {
  EXPECT_EQ(SplitOutsideQuotes(R"(a@x, "Doe, John" <j@x> ,,b@x)"),
            (std::vector<std::string>{"a@x", R"("Doe, John" <j@x>)", "", "b@x"}));
  EXPECT_EQ(AddressPart("  \"Team\" < team@x >  "), "team@x");
  EXPECT_EQ(AddressPart(" plain@x "), "plain@x");
  EXPECT_EQ(AddressPart("broken <x"), "broken <x");

  EXPECT_EQ(RecipientAddresses({R"("Support, Team" <team@x>)", "a@x, b@x", " ", ""}),
            (std::vector<std::string>{"team@x", "a@x", "b@x"}));
  EXPECT_TRUE(RecipientAddresses({""}).empty());
}

TEST(MimeMessageText, ContainerHoldsThePartsInOrderBetweenBoundaries) {
  MimeMessage message("Multipart/alternate", "Multipart message");
  message.SetHeader("Subject", "first");
  message.SetHeader("subject", "second");  // replaces, whatever the case
  message.AddPart(MakeTextPart("one", "plain", "Message text"));
  message.AddPart(MakeAttachmentPart("data.txt", "xyz"));
  const std::string text = message.Encode();
  const std::string boundary = message.Boundary();

  EXPECT_EQ(text.find("Subject: second\r\n"), 0u);
  EXPECT_EQ(text.find("Subject: first"), std::string::npos);
  EXPECT_NE(text.find("Content-Type: Multipart/alternate;\r\n boundary=\"" + boundary + "\"\r\n"), std::string::npos);
  const std::size_t first = text.find("--" + boundary + "\r\n");
  const std::size_t body = text.find("\r\n\r\none\r\n--" + boundary + "\r\n", first);
  const std::size_t attachment = text.find("filename=\"data.txt\"", body);
  const std::size_t end = text.find("\r\n\r\neHl6\r\n--" + boundary + "--\r\n", attachment);
  EXPECT_NE(first, std::string::npos);
  EXPECT_NE(body, std::string::npos);
  EXPECT_NE(attachment, std::string::npos);
  EXPECT_NE(end, std::string::npos);
  EXPECT_EQ(end + boundary.size() + 16, text.size());

  message.Clear();
  EXPECT_TRUE(message.Parts().empty());
  EXPECT_TRUE(message.Headers().empty());
  EXPECT_NE(message.Boundary(), boundary);
}

}  // namespace
}  // namespace quarn::support
