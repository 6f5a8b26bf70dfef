// The stand-in SMTP service the demo and the command line tests send to.
#include "SmtpStandin.h"

#include "core/mail/TSmtpClient.h"

#include "ByteFiles.h"
#include "TempFolder.h"

#include <gtest/gtest.h>


using namespace kaldrani::mail;

namespace {


} // namespace

TEST(SmtpStandin, SignsInAnyUserRefusesTheReservedDomainAndWritesEachMessage)
{
    const kaldrani::testing::TempFolder temp;
    const std::filesystem::path& folder = temp.path();
    {
        kaldrani::standin::SmtpStandin standin(folder);
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = standin.port();
        client.Username = "anyone";
        client.Password = "anything";
        client.Connect();
        EXPECT_TRUE(client.Authenticate());

        TMailMessage message;
        message.CharSet = MailCharset{"GB2312", 'B'};
        message.setFrom("me@example.com");
        message.Subject = "Hi";
        message.setBody("..two dots\r\n.");
        message.setRecipients("a@example.com; b@example.com");
        client.Send(message);
        message.setRecipients("x@refused.invalid");
        try {
            client.Send(message);
            FAIL() << "no refusal";
        } catch (const SmtpReplyError& e) {
            EXPECT_EQ(e.code(), 550);
        }
        message.setRecipients("c@example.com");
        client.Send(message);
        client.Disconnect();
        EXPECT_EQ(standin.messagesWritten(), 2);
    }
    EXPECT_EQ(kaldrani::testing::readBytes(folder / "000001.env"), "me@example.com\na@example.com\nb@example.com\n");
    EXPECT_EQ(kaldrani::testing::readBytes(folder / "000002.env"), "me@example.com\nc@example.com\n");
    const std::string data = kaldrani::testing::readBytes(folder / "000001.eml");
    EXPECT_EQ(data.rfind("From: \"me@example.com\" <me@example.com>\r\nSubject: Hi\r\nTo: a@example.com, b@example.com\r\n", 0), 0u)
        << data;
    EXPECT_EQ(data.substr(data.find("\r\n\r\n")), "\r\n\r\n..two dots\r\n.\r\n\r\n");

    // A later start goes on numbering after what is there.
    {
        kaldrani::standin::SmtpStandin again(folder);
        TSmtpClient client;
        client.Host = "127.0.0.1";
        client.Port = again.port();
        client.Connect();
        TMailMessage message;
        message.setFrom("me@example.com");
        message.setRecipients("d@example.com");
        client.Send(message);
    }
    EXPECT_TRUE(std::filesystem::exists(folder / "000003.eml"));
}
