#include <filesystem>
#include <stdexcept>

#include "PythonServer.h"
#include "SmtpTestServer.h"

extern char** environ;

namespace tvk::test {

namespace {

// The server: aiosmtpd's Controller with a handler that files each message
// (N.eml) and its envelope (N.env: sender, login, tls, then one recipient a
// line), and an authenticator that checks one user and writes every attempt.
constexpr const char* kScript = R"PY(
import os, socket, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

folder, user, password, starttls, host = sys.argv[1:4] + [sys.argv[4] == "1", sys.argv[5]]
count = 0

def write(name, data):
    with open(os.path.join(folder, name + ".part"), "wb") as f:
        f.write(data)
    os.replace(os.path.join(folder, name + ".part"), os.path.join(folder, name))

class Handler:
    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refused"):
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        login = session.auth_data.login.decode() if session.authenticated else ""
        env = [envelope.mail_from, login, "1" if session.ssl is not None else "0"] + envelope.rcpt_tos
        write("%d.eml" % count, envelope.original_content)
        write("%d.env" % count, ("\n".join(env) + "\n").encode())
        return "250 Message accepted"

def authenticate(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login.decode() == user and auth_data.password.decode() == password
    with open(os.path.join(folder, "logins.txt"), "a") as f:
        f.write("%s %s %s\n" % (mechanism, auth_data.login.decode(), "ok" if ok else "refused"))
    return AuthResult(success=ok, handled=False, auth_data=auth_data)

sock = socket.socket()
sock.bind(("127.0.0.1", 0))
port = sock.getsockname()[1]
sock.close()
options = {}
if user:
    options.update(authenticator=authenticate, auth_require_tls=starttls)
if starttls:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem"))
    options.update(tls_context=context)
controller = Controller(Handler(), hostname=host, port=port, **options)
controller.start()
write("port", str(port).encode())
while True:
    time.sleep(3600)
)PY";

void MakeCertificate(const std::filesystem::path& folder) {
    const ProcessResult made =
        RunProcess({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                    (folder / "key.pem").string(), "-out", (folder / "cert.pem").string()});
    if (made.exitCode != 0) throw std::runtime_error("openssl failed: " + made.err);
}

}  // namespace

SmtpTestServer::SmtpTestServer(SmtpServerOptions options) {
    if (options.startTls) MakeCertificate(folder_.Path());
    server_ = std::make_unique<PythonServer>(
        "SMTP test server", folder_.Path(), kScript,
        std::vector<std::string>{folder_.Path().string(), options.userName, options.password,
                                 options.startTls ? "1" : "0", options.host});
}

SmtpTestServer::~SmtpTestServer() = default;

std::vector<ReceivedMail> SmtpTestServer::Messages() const {
    std::vector<ReceivedMail> mails;
    for (int n = 1; std::filesystem::exists(folder_ / (std::to_string(n) + ".env")); ++n) {
        const std::vector<std::string> env = ReadLines(folder_ / (std::to_string(n) + ".env"));
        ReceivedMail mail;
        mail.raw = ReadAll(folder_ / (std::to_string(n) + ".eml"));
        mail.mailFrom = env.at(0);
        mail.login = env.at(1);
        mail.tls = env.at(2) == "1";
        mail.recipients.assign(env.begin() + 3, env.end());
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::vector<std::string> SmtpTestServer::LoginAttempts() const {
    if (!std::filesystem::exists(folder_ / "logins.txt")) return {};
    return ReadLines(folder_ / "logins.txt");
}

}  // namespace tvk::test
