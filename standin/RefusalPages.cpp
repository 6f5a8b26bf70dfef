#include "RefusalPages.h"

#include <string>

namespace kaldrani::standin {

Response verificationPage()
{
    return gbkPage("<html><head><title>安全验证</title></head><body><form action=\"/verify\">"
                   "<p>您的访问过于频繁，" + std::string(kVerificationPhrase) + "：</p>"
                   "<img src=\"/captcha.png\"><input name=\"code\"><input type=\"submit\" value=\"提交\">"
                   "</form></body></html>");
}

Response tooManyRequests()
{
    Response r = utf8Page("<html><body><h1>429 Too Many Requests</h1></body></html>");
    r.status = 429;
    r.reason = "Too Many Requests";
    r.headers.push_back({"Retry-After", "120"});
    return r;
}

std::optional<Response> refusal(std::string_view how)
{
    if (how == "verify")
        return verificationPage();
    if (how == "429")
        return tooManyRequests();
    return std::nullopt;
}

} // namespace kaldrani::standin
