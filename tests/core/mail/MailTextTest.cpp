// The SMTP pieces that need no socket: replies, addresses, header encoding and folding,
// the Date header, body lines, the charset table and the composed message.
#include "core/mail/Base64.h"
#include "core/mail/HeaderEncoding.h"
#include "core/mail/MailAddress.h"
#include "core/mail/MailBody.h"
#include "core/mail/MailCharset.h"
#include "core/mail/MailDate.h"
#include "core/mail/SmtpReply.h"
#include "core/mail/TMailMessage.h"
#include "core/net/TRegExp.h"
#include "core/text/Encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using namespace kaldrani::mail;

namespace {

const MailCharset kGb2312{"GB2312", 'B'};
const MailCharset kLatin1{"ISO-8859-1", 'Q'};

std::vector<std::string> split(const std::string& text, const std::string& sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + sep.size();
    }
}

} // namespace

TEST(SmtpReply, ReadsCodeAndTextLines)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        int code;
        std::vector<std::string> text;
    } const cases[] = {
        {"one line", {"250 OK"}, 250, {"OK"}},
        {"multi-line EHLO", {"250-mail.example", "250-AUTH LOGIN PLAIN", "250 8BITMIME"}, 250,
         {"mail.example", "AUTH LOGIN PLAIN", "8BITMIME"}},
        {"enhanced codes off every line", {"550-5.1.1 No such user", "550 5.1.1 <x@y.z>: rejected"}, 550,
         {"No such user", "<x@y.z>: rejected"}},
        {"code alone", {"220"}, 220, {""}},
        {"not an enhanced code", {"250 2.0 ok"}, 250, {"2.0 ok"}},
        {"no code", {"hello"}, 0, {"o"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SmtpReply reply = parseSmtpReply(c.lines);
        EXPECT_EQ(reply.code, c.code);
        EXPECT_EQ(reply.lines, c.text);
    }
}

TEST(SmtpReply, EndsOnShortLineOrBlankFourthCharacter)
{
    EXPECT_TRUE(endsReply("250 OK"));
    EXPECT_TRUE(endsReply("250"));
    EXPECT_TRUE(endsReply(""));
    EXPECT_FALSE(endsReply("250-OK"));
    EXPECT_FALSE(endsReply("250OK"));
}

TEST(SmtpReply, ErrorMessageIsTheTextLinesEachEndedByCrLf)
{
    const SmtpReplyError error(parseSmtpReply({"554-5.7.1 Message rejected", "554 5.7.1 Spam"}));
    EXPECT_EQ(error.code(), 554);
    EXPECT_STREQ(error.what(), "Message rejected\r\nSpam\r\n");
}

TEST(SmtpReply, AReplyWithoutTextStillGivesAReason)
{
    for (const auto& lines : {std::vector<std::string>{"421"}, {"554 "}, {"550-", "550 \t"}}) {
        SCOPED_TRACE(lines.front());
        const SmtpReplyError error(parseSmtpReply(lines));
        EXPECT_EQ(std::string(error.what()),
                  "The server replied " + lines.front().substr(0, 3) + " without a reason.\r\n");
    }
}

TEST(MailAddress, ParsesOneItem)
{
    struct Case {
        const char* text;
        const char* name;
        const char* address;
    } const cases[] = {
        {"a@b.com", "", "a@b.com"},
        {"  a@b.com\t", "", "a@b.com"},
        {"abc", "", "abc"},
        {"", "", ""},
        {"张三 <zs@example.com>", "张三", "zs@example.com"},
        {"\"Doe, \\\"J\\\"\" <j@d.org>", "Doe, \"J\"", "j@d.org"},
        {"John < j@d.org >", "John", "j@d.org"},
        {"j@d.org (John (the) Doe)", "", "j@d.org"},
        {"(work) John <j@d.org>", "John", "j@d.org"},
        {"John j@d.org", "John", "j@d.org"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseAddressItem(c.text), (MailAddress{c.name, c.address}));
    }
}

TEST(MailAddress, SplitsListsOutsideQuotesAndComments)
{
    struct Case {
        const char* text;
        std::vector<MailAddress> items;
    } const cases[] = {
        {"a@x.com, b@y.com", {{"", "a@x.com"}, {"", "b@y.com"}}},
        {"a@x.com;b@y.com", {{"", "a@x.com"}, {"", "b@y.com"}}},
        {"\"Doe, J\" <j@d.org>; k@e.org", {{"Doe, J", "j@d.org"}, {"", "k@e.org"}}},
        {"(a, b) c@d.org", {{"", "c@d.org"}}},
        {"a@x.com,, ;  ,", {{"", "a@x.com"}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseAddressList(c.text), c.items);
    }
}

TEST(HeaderEncoding, EncodesOnlyRunsOfWordsThatNeedIt)
{
    struct Case {
        const char* name;
        const char* text;
        MailCharset charset;
        const char* specials;
        const char* expected;
    } const cases[] = {
        {"ASCII unchanged", "Hello, world", kGb2312, "", "Hello, world"},
        {"one Chinese word", "你好 world", kGb2312, "", "=?GB2312?B?xOO6ww==?= world"},
        {"run keeps its separator", "a 你 好 b", kGb2312, "", "a =?GB2312?B?xOMgusM=?= b"},
        {"Q escapes bytes", "caf\xC3\xA9 au lait", kLatin1, "", "=?ISO-8859-1?Q?caf=E9?= au lait"},
        {"Q escapes ? = _ inside an encoded word", "\xC3\xA9?=_ x", kLatin1, "", "=?ISO-8859-1?Q?=E9=3F=3D=5F?= x"},
        {"Q writes a blank as _", "\xC3\xA9 \xC3\xA9", kLatin1, "", "=?ISO-8859-1?Q?=E9_=E9?="},
        {"specials need encoding", "张三, Ltd", kGb2312, ",", "=?GB2312?B?1cXI/Sw=?= Ltd"},
        {"a control character needs encoding", "a\x01" "b", kLatin1, "", "=?ISO-8859-1?Q?a=01b?="},
        {"what the charset lacks becomes ?", "\xF0\x9F\x98\x80", kGb2312, "", "=?GB2312?B?Pw==?="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encodeHeader(c.text, c.charset, c.specials), c.expected);
    }
}

TEST(HeaderEncoding, LongChineseSubjectSplitsIntoWholeCharacterWordsOfAtMost75)
{
    // Forty different characters, so a cut character would show in the decoded text.
    const std::string subject = "北京上海广州深圳天津重庆南京杭州成都武汉西安长沙郑州济南青岛大连厦门福州沈阳哈尔滨长春昆明贵阳南宁";
    for (const MailCharset& charset : {kGb2312, MailCharset{"UTF-8", 'B'}, MailCharset{"GB2312", 'Q'}}) {
        SCOPED_TRACE(charset.name + charset.encoding);
        const std::string encoded = encodeHeader(subject, charset);
        const std::vector<std::string> words = split(encoded, "\r\n ");
        EXPECT_GE(words.size(), 2u);
        std::string decoded;
        const std::string prefix = "=?" + charset.name + "?" + charset.encoding + "?";
        for (const std::string& word : words) {
            EXPECT_LE(word.size(), 75u) << word;
            ASSERT_EQ(word.rfind(prefix, 0), 0u) << word;
            ASSERT_EQ(word.substr(word.size() - 2), "?=");
            const std::string body = word.substr(prefix.size(), word.size() - prefix.size() - 2);
            std::string bytes;
            if (charset.encoding == 'B') {
                bytes = base64Decode(body).value();
            } else {
                for (size_t i = 0; i < body.size(); ++i) {
                    if (body[i] == '=') {
                        bytes += static_cast<char>(std::stoi(body.substr(i + 1, 2), nullptr, 16));
                        i += 2;
                    } else {
                        bytes += body[i] == '_' ? ' ' : body[i];
                    }
                }
            }
            // Every word alone decodes to whole characters.
            const std::string text =
                charset.name == "UTF-8" ? bytes : kaldrani::text::gbkToUtf8(bytes);
            EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << word;
            EXPECT_TRUE(kaldrani::text::isValidUtf8(text)) << word;
            decoded += text;
        }
        EXPECT_EQ(decoded, subject);
    }
}

TEST(HeaderEncoding, FormatsAddresses)
{
    struct Case {
        const char* name;
        MailAddress item;
        const char* expected;
    } const cases[] = {
        {"printable name quoted", {"John Doe", "j@d.org"}, "\"John Doe\" <j@d.org>"},
        {"quote and backslash escaped", {"a\"b\\c", "j@d.org"}, "\"a\\\"b\\\\c\" <j@d.org>"},
        {"Chinese name encoded", {"你好", "j@d.org"}, "=?GB2312?B?xOO6ww==?= <j@d.org>"},
        {"empty name", {"", "j@d.org"}, "\"\" <j@d.org>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatAddress(c.item, kGb2312), c.expected);
    }
}

TEST(HeaderEncoding, FoldsLongLinesAtBlanksAndCommas)
{
    std::string to = "To: ";
    for (int i = 0; i < 12; ++i)
        to += (i ? ", " : "") + std::string("recipient") + std::to_string(i) + "@example.com";
    const std::string folded = foldHeaderLine(to);
    const std::vector<std::string> lines = split(folded, "\r\n");
    EXPECT_GT(lines.size(), 1u);
    std::string unfolded;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 78u) << lines[i];
        if (i > 0) {
            EXPECT_EQ(lines[i][0], ' ');
        }
        unfolded += lines[i];
    }
    EXPECT_EQ(unfolded, to);

    const std::string commas = "To: a@example.com,b@example.com,c@example.com,d@example.com,e@example.com,f@x.org";
    for (const std::string& line : split(foldHeaderLine(commas), "\r\n"))
        EXPECT_LE(line.size(), 78u) << line;

    EXPECT_EQ(foldHeaderLine("Subject: short"), "Subject: short");
    const std::string unbreakable = "Subject: " + std::string(90, 'x');
    EXPECT_EQ(foldHeaderLine(unbreakable), unbreakable);
    // An encoded word never breaks after "Subject:".
    const std::string encoded = "Subject: =?GB2312?B?" + std::string(60, 'A') + "?=\r\n =?GB2312?B?xOO6ww==?=";
    EXPECT_EQ(foldHeaderLine(encoded), encoded);
}

// A list of hundreds once folded into ever shorter lines and then left the rest as one
// line of thousands of characters.
TEST(HeaderEncoding, FoldsAListOfHundredsIntoFullLinesOfAtMost78)
{
    std::string to = "To: ";
    for (int i = 0; i < 200; ++i)
        to += (i ? ", " : "") + std::string("user") + std::to_string(i) + "@example.com";
    const std::vector<std::string> lines = split(foldHeaderLine(to), "\r\n");
    std::string unfolded;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 78u) << i;
        // Each piece is at most 20 characters, so only the last line may be short.
        if (i + 1 < lines.size()) {
            EXPECT_GE(lines[i].size(), 58u) << i;
        }
        unfolded += lines[i];
    }
    EXPECT_EQ(unfolded, to);
}

TEST(MailDate, FormatsLocalTimeWithItsOffset)
{
    struct Case {
        int year, month, day, wday, hour, minute, second;
        long offset;
        const char* expected;
    } const cases[] = {
        {2010, 1, 5, 2, 14, 3, 7, 8 * 3600, "Tue, 5 Jan 2010 14:03:07 +0800"},
        {2026, 12, 31, 4, 23, 59, 59, 0, "Thu, 31 Dec 2026 23:59:59 +0000"},
        {1999, 7, 4, 0, 0, 0, 0, -(5 * 3600 + 30 * 60), "Sun, 4 Jul 1999 00:00:00 -0530"},
        {2024, 2, 29, 4, 9, 5, 1, 5 * 3600 + 45 * 60, "Thu, 29 Feb 2024 09:05:01 +0545"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::tm tm{};
        tm.tm_year = c.year - 1900;
        tm.tm_mon = c.month - 1;
        tm.tm_mday = c.day;
        tm.tm_wday = c.wday;
        tm.tm_hour = c.hour;
        tm.tm_min = c.minute;
        tm.tm_sec = c.second;
        EXPECT_EQ(formatMailDate(tm, c.offset), c.expected);
    }
    const std::string now = formatMailDate(std::time(nullptr));
    EXPECT_EQ(kaldrani::net::firstMatch(
                  R"(^(Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\d? [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)", now),
              now);
}

TEST(MailBody, SplitsLinesAndStuffsDots)
{
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitLines("\n"), (std::vector<std::string>{""}));
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(dotStuff("."), "..");
    EXPECT_EQ(dotStuff(".hidden"), "..hidden");
    EXPECT_EQ(dotStuff("a.b"), "a.b");
}

TEST(MailCharset, FollowsTheSystemLanguage)
{
    struct Case {
        const char* locale;
        MailCharset charset;
    } const cases[] = {
        {"zh_CN.UTF-8", kGb2312},         {"zh_SG", kGb2312},
        {"zh_CN.GB18030@euro", kGb2312},  {"zh_TW.UTF-8", {"Big5", 'B'}},
        {"zh_HK", {"Big5", 'B'}},         {"ja_JP.UTF-8", {"ISO-2022-JP", 'B'}},
        {"ko_KR.EUC-KR", {"csEUCKR", 'B'}}, {"ru_RU.KOI8-R", {"KOI8-R", 'B'}},
        {"uk_UA.UTF-8", {"windows-1251", 'B'}}, {"en_US.UTF-8", kLatin1},
        {"C", kLatin1},                   {"", kLatin1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(charsetForLocale(c.locale), c.charset);
    }
}

TEST(MailCharset, ReadsLcAllThenLcMessagesThenLang)
{
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    } saved[] = {{"LC_ALL", {}}, {"LC_MESSAGES", {}}, {"LANG", {}}};
    for (Saved& s : saved)
        if (const char* v = std::getenv(s.name))
            s.value = v;

    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::setenv("LC_MESSAGES", "", 1);
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(systemMailCharset(), kGb2312);
    ::setenv("LC_MESSAGES", "ru_RU", 1);
    EXPECT_EQ(systemMailCharset().name, "KOI8-R");
    ::setenv("LC_ALL", "ja_JP", 1);
    EXPECT_EQ(systemMailCharset().name, "ISO-2022-JP");

    for (const Saved& s : saved) {
        if (s.value)
            ::setenv(s.name, s.value->c_str(), 1);
        else
            ::unsetenv(s.name);
    }
}

TEST(MailCharset, ConvertsStrictlyAndTakesLowBytes)
{
    EXPECT_EQ(encodeStrict("你好", "GB2312"), std::optional<std::string>("\xC4\xE3\xBA\xC3"));
    EXPECT_EQ(encodeStrict("你好", "ISO-8859-1"), std::nullopt);
    EXPECT_EQ(encodeStrict("\xD0\x96", "KOI8-R"), std::optional<std::string>("\xF6"));
    EXPECT_EQ(encodeStrict("\xFF", "UTF-8"), std::nullopt);
    EXPECT_EQ(lowBytes("p\xC3\xA4\xE4\xBD\xA0"), "p\xE4\x60");
    EXPECT_EQ(base64Encode(lowBytes("p\xC3\xA4")), "cOQ=");
}

TEST(Base64, RoundTripsAndRejectsBadText)
{
    for (const std::string& bytes : std::vector<std::string>{"", "f", "fo", "foo", "foob", "fooba", "foobar",
                                                             std::string("\0\xFF\x10", 3)})
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Decode("Zm9=v"), std::nullopt);
    EXPECT_EQ(base64Decode("Zm=v"), std::nullopt);
    EXPECT_EQ(base64Decode("Z!9v"), std::nullopt);
}

TEST(MailMessage, ComposesHeaderBlockAndBody)
{
    TMailMessage message;
    message.setFrom("sender@example.com");
    message.setRecipients("a@x.org, 李四 <b@y.org>");
    message.Subject = "你好 Kaldrani";
    message.setBody("第一行\r\n.\r\n..two\nlast");
    const std::string composed = composeMessage(message, kGb2312, "Tue, 5 Jan 2010 14:03:07 +0800");
    const std::string expected = "From: \"sender@example.com\" <sender@example.com>\r\n"
                                 "Subject: =?GB2312?B?xOO6ww==?= Kaldrani\r\n"
                                 "To: a@x.org, =?GB2312?B?wO7LxA==?= <b@y.org>\r\n"
                                 "Date: Tue, 5 Jan 2010 14:03:07 +0800\r\n"
                                 "\r\n"
                                 + kaldrani::text::utf8ToGbk("第一行")
                                 + "\r\n"
                                   "..\r\n"
                                   "...two\r\n"
                                   "last\r\n"
                                   "\r\n";
    EXPECT_EQ(composed, expected);
}

TEST(MailMessage, LineBreakInTheSubjectCannotStartAHeader)
{
    TMailMessage message;
    message.setFrom("s@example.com");
    message.setRecipients("a@x.org");
    message.Subject = "Hi\r\nBcc: victim@y.org\nX: y";
    const std::string composed = composeMessage(message, kGb2312, "Tue, 5 Jan 2010 14:03:07 +0800");
    EXPECT_NE(composed.find("\r\nSubject: Hi  Bcc: victim@y.org X: y\r\nTo: "), std::string::npos) << composed;
}

TEST(MailMessage, GoesOutInUtf8OnlyWhenTheCharsetWouldLoseText)
{
    TMailMessage message;
    message.setFrom("s@example.com");
    message.setRecipients("a@x.org");
    message.Subject = "主题";
    message.setBody("plain");
    const std::string date = "Tue, 5 Jan 2010 14:03:07 +0800";

    const std::string utf8 = composeMessage(message, kLatin1, date);
    EXPECT_NE(utf8.find("Subject: =?UTF-8?B?5Li76aKY?=\r\nTo: a@x.org\r\nDate: "), std::string::npos) << utf8;
    EXPECT_NE(utf8.find("Date: " + date + "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                        "Content-Transfer-Encoding: 8bit\r\n\r\n"),
              std::string::npos)
        << utf8;

    message.Subject = "Hello";
    message.setBody("caf\xC3\xA9");
    const std::string latin = composeMessage(message, kLatin1, date);
    EXPECT_EQ(latin.find("MIME-Version"), std::string::npos);
    EXPECT_NE(latin.find("\r\n\r\ncaf\xE9\r\n\r\n"), std::string::npos);

    // GB2312 carries Chinese, but not every character there is.
    message.setBody("你好 \xF0\x9F\x98\x80");
    EXPECT_EQ(chooseCharset(message, kGb2312).name, "UTF-8");
    message.setBody("你好");
    EXPECT_EQ(chooseCharset(message, kGb2312), kGb2312);
}

namespace {

// The header names of a composed message's header block, continuation lines skipped.
std::vector<std::string> headerNames(const std::string& composed)
{
    std::vector<std::string> names;
    for (const std::string& line : split(composed.substr(0, composed.find("\r\n\r\n")), "\r\n"))
        if (!line.empty() && line[0] != ' ')
            names.push_back(line.substr(0, line.find(':')));
    return names;
}

// [rfc2045] 6.7 undone for the lines of one body, dot-stuffing undone first.
std::vector<std::string> decodeQuotedPrintable(const std::string& body)
{
    std::vector<std::string> lines(1);
    for (std::string line : split(body, "\r\n")) {
        if (!line.empty() && line[0] == '.')
            line.erase(0, 1);
        const bool soft = !line.empty() && line.back() == '=';
        if (soft)
            line.pop_back();
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=' && i + 2 < line.size()) {
                lines.back() += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                lines.back() += line[i];
            }
        }
        if (!soft)
            lines.emplace_back();
    }
    lines.pop_back();
    return lines;
}

size_t longestLine(const std::string& text)
{
    size_t longest = 0;
    for (const std::string& line : split(text, "\r\n"))
        longest = std::max(longest, line.size());
    return longest;
}

} // namespace

TEST(MailMessage, NoHeaderValueCanEndTheHeaderBlock)
{
    const std::string injected = "Evil\r\n\r\nInjected: yes\nBcc: v@y.org\rX: z";
    struct Case {
        const char* name;
        void (*set)(TMailMessage&, const std::string&);
    } const cases[] = {
        {"sender name", [](TMailMessage& m, const std::string& t) { m.From.name = t; }},
        {"sender address", [](TMailMessage& m, const std::string& t) { m.From.address = t; }},
        {"recipient name", [](TMailMessage& m, const std::string& t) { m.Recipients[0].name = t; }},
        {"recipient address", [](TMailMessage& m, const std::string& t) { m.Recipients[0].address = t; }},
        {"subject", [](TMailMessage& m, const std::string& t) { m.Subject = t; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMailMessage message;
        message.setFrom("s@example.com");
        message.setRecipients("a@x.org");
        message.Subject = "Hi";
        message.setBody("body");
        c.set(message, injected);
        const std::string composed = composeMessage(message, kGb2312, "Tue, 5 Jan 2010 14:03:07 +0800");
        EXPECT_EQ(headerNames(composed), (std::vector<std::string>{"From", "Subject", "To", "Date"})) << composed;
        EXPECT_EQ(composed.substr(composed.find("\r\n\r\n")), "\r\n\r\nbody\r\n\r\n");
        // A bare CR or LF is no line end a reader can be trusted to ignore.
        for (size_t i = 0; i < composed.size(); ++i) {
            if (composed[i] == '\r') {
                EXPECT_EQ(composed[i + 1], '\n') << i;
            }
            if (composed[i] == '\n') {
                EXPECT_EQ(composed[i - 1], '\r') << i;
            }
        }
    }
}

TEST(MailMessage, ABodyLineOverTheLimitSendsTheBodyQuotedPrintable)
{
    const std::string date = "Tue, 5 Jan 2010 14:03:07 +0800";
    TMailMessage message;
    message.setFrom("s@example.com");
    message.setRecipients("a@x.org");
    message.Subject = "Hi";
    const std::string longLine = "." + std::string(1500, 'x') + "=中文 ";
    const std::vector<std::string> lines = {"first", longLine, ".", "tail\t"};
    message.setBody("first\r\n" + longLine + "\r\n.\r\ntail\t");

    const std::string composed = composeMessage(message, kGb2312, date);
    EXPECT_NE(composed.find("Date: " + date + "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=GB2312\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n\r\n"),
              std::string::npos)
        << composed;
    EXPECT_LE(longestLine(composed), 78u);
    const size_t body = composed.find("\r\n\r\n") + 4;
    std::vector<std::string> expected;
    for (const std::string& line : lines)
        expected.push_back(kaldrani::text::utf8ToGbk(line));
    expected.push_back("");
    EXPECT_EQ(decodeQuotedPrintable(composed.substr(body, composed.size() - body - 2)), expected);

    // A line of exactly the limit goes out as it is, with no MIME header.
    message.setBody(std::string(kMaxMessageLine, 'y'));
    const std::string plain = composeMessage(message, kGb2312, date);
    EXPECT_EQ(plain.find("MIME-Version"), std::string::npos);
    EXPECT_EQ(longestLine(plain), kMaxMessageLine);
}

TEST(MailMessage, NoHeaderLineIsLongerThanTheLimit)
{
    const std::string word(3000, 'w');
    TMailMessage message;
    message.From = {word, "s@example.com"};
    message.Recipients = {{word, "a@x.org"}, {"", "b@x.org"}};
    message.Subject = "Re: " + word + " end";
    message.setBody("body");
    const std::string composed = composeMessage(message, kGb2312, "Tue, 5 Jan 2010 14:03:07 +0800");
    EXPECT_LE(longestLine(composed), kMaxMessageLine);
    EXPECT_NE(composed.find("\r\nSubject: Re:\r\n =?GB2312?B?d3d3"), std::string::npos) << composed;
    EXPECT_EQ(headerNames(composed), (std::vector<std::string>{"From", "Subject", "To", "Date"}));
}

TEST(MailMessage, QuotedPrintableLines)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    } const cases[] = {
        {"plain", "abc", {"abc"}},
        {"empty", "", {""}},
        {"equals and eight-bit", "a=b\xC4\xE3", {"a=3Db=C4=E3"}},
        {"blank inside stays, at the end is encoded", "a b\t", {"a b=09"}},
        {"soft breaks at 76", std::string(80, 'x'), {std::string(75, 'x') + "=", "xxxxx"}},
        {"an escape is never cut", std::string(74, 'x') + "\xFF" + "y", {std::string(74, 'x') + "=", "=FFy"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(quotedPrintableLines(c.bytes), c.lines);
    }
}
