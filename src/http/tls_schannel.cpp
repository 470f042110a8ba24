// TLS sessions on Windows' own Schannel. Schannel only turns bytes into
// records and back: the reading and writing over the non-blocking socket are
// ours, and so is the decision whether to trust the server's certificate
// (Schannel is asked to leave it to us).
#define SECURITY_WIN32
// SCH_CREDENTIALS, the structure of Windows 10 1809 and later.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
#include <winsock2.h>

// After windows.h, whose types they need; UNICODE_STRING (subauth.h) before
// SCH_CREDENTIALS.
#include <subauth.h>
#include <wincrypt.h>

#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "errors.h"
#include "tls_session.h"
#include "windows_certificates.h"
#include "windows_files.h"

namespace kalvoran {

namespace {

constexpr int kWouldBlock = 10035;  // WSAEWOULDBLOCK
// The largest record TLS allows with its header and protection; a handshake
// message may span several.
constexpr std::size_t kRecordMax = 5 + 16384 + 2048;
constexpr std::size_t kHandshakeMax = 1 << 20;
// Room for several records, so that one receive brings many: under Wine every
// receive is a round trip to its server.
constexpr std::size_t kReceiveBuffer = 512 << 10;

constexpr unsigned long kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                        ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                        ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION |
                                        ISC_REQ_USE_SUPPLIED_CREDS;

std::string Hex(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

// Schannel's failures in words near the OpenSSL build's, which say what the
// server did rather than which Windows code it gave.
std::string Reason(SECURITY_STATUS status) {
  switch (status) {
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION:
      return "no protocol or cipher in common with the server";
    case SEC_E_ILLEGAL_MESSAGE:
      return "the server sent an alert or a message out of place";
    case SEC_E_INVALID_TOKEN:
    case SEC_E_MESSAGE_ALTERED:
    case SEC_E_DECRYPT_FAILURE:
      return "decryption failed or bad record mac";
    case SEC_E_INSUFFICIENT_MEMORY:
      return "out of memory";
    default:
      return "error " + Hex(static_cast<unsigned long>(status));
  }
}

// One set of credentials for the process: Schannel keeps its session cache
// with them, so later connections to a server resume cheaply.
CredHandle* Credentials() {
  static std::mutex mutex;
  static CredHandle handle{};
  static bool made = false;
  std::lock_guard lock(mutex);
  if (made) return &handle;
  wchar_t package[] = UNISP_NAME_W;
  // No client certificate, and no checks of Schannel's own.
  const DWORD flags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols =
      ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
  SCH_CREDENTIALS modern{};
  modern.dwVersion = SCH_CREDENTIALS_VERSION;
  modern.dwFlags = flags;
  modern.cTlsParameters = 1;
  modern.pTlsParameters = &parameters;
  SECURITY_STATUS status = AcquireCredentialsHandleW(
      nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &modern, nullptr, nullptr, &handle, nullptr);
  if (status != SEC_E_OK) {
    // Windows before 10 1809 knows only the older structure, without TLS 1.3.
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    status = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older,
                                       nullptr, nullptr, &handle, nullptr);
  }
  if (status != SEC_E_OK) throw ETlsError("TLS: cannot set up: " + Reason(status));
  made = true;
  return &handle;
}

class SchannelSession final : public TlsSession {
 public:
  SchannelSession(net::SocketHandle s, const std::string& host, const TlsSettings& settings)
      : socket_(s), host_(host), caFile_(settings.CaFile), credentials_(Credentials()) {
    // An address goes out as no server name at all.
    if (!IsIpAddress(host) && !Utf8ToWide(host, target_)) {
      throw ETlsError("TLS: cannot set up: the host name is not valid UTF-8");
    }
    PrepareTrust(caFile_);  // a CA file that cannot be used fails here, before any byte goes out
    in_.resize(kReceiveBuffer);
  }

  ~SchannelSession() override {
    if (hasContext_) DeleteSecurityContext(&context_);
  }

  Io Handshake() override {
    for (;;) {
      if (!Flush()) return blocked_;
      if (state_ == State::kOpen) return Io::kDone;
      if (state_ == State::kFailed) return Io::kFailed;
      if (!hasContext_) {
        Step(false);
        continue;
      }
      if (needMore_) {
        const Io io = Receive();
        if (io != Io::kDone) return io;  // a close here is the server's, in the handshake
        if (!LooksLikeTls()) return Fail("TLS: handshake failed: wrong version number");
      }
      Step(true);
    }
  }

  Io Read(char* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    for (;;) {
      if (plainAt_ < plain_.size()) {
        done = std::min(size, plain_.size() - plainAt_);
        std::memcpy(buffer, plain_.data() + plainAt_, done);
        plainAt_ += done;
        return Io::kDone;
      }
      if (!Flush()) return blocked_;
      if (state_ == State::kFailed) return Io::kFailed;
      if (state_ == State::kClosed) return Io::kClosed;
      if (state_ == State::kRenegotiating) {
        if (needMore_) {
          const Io io = Receive();
          if (io == Io::kClosed)
            return Fail("TLS: the server closed the connection in a handshake");
          if (io != Io::kDone) return io;
        }
        Step(true);
        continue;
      }
      if (needMore_) {
        const Io io = Receive();
        if (io == Io::kClosed) {
          closedWithoutNotify_ = true;
          state_ = State::kClosed;
        }
        if (io != Io::kDone) return io;
      }
      Decrypt();
    }
  }

  Io Write(const char* data, std::size_t size, std::size_t& done) override {
    done = 0;
    if (!Flush()) return blocked_;
    if (state_ == State::kFailed) return Io::kFailed;
    if (state_ != State::kOpen) return Io::kClosed;
    if (taken_ == 0) {
      // One record, kept until it is all out: the caller calls again with
      // the same bytes while the socket is full, as OpenSSL's callers do.
      const std::size_t n = std::min<std::size_t>(size, sizes_.cbMaximumMessage);
      std::vector<char> record(sizes_.cbHeader + n + sizes_.cbTrailer);
      std::memcpy(record.data() + sizes_.cbHeader, data, n);
      SecBuffer buffers[4] = {
          {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
          {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
          {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
      if (status != SEC_E_OK) return Fail("TLS: " + Reason(status));
      for (int i = 0; i < 3; ++i) {
        out_.append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
      }
      taken_ = n;
    }
    if (!Flush()) return blocked_;
    done = taken_;
    taken_ = 0;
    return Io::kDone;
  }

  void SendCloseNotify() override {
    if (state_ != State::kOpen) return;
    state_ = State::kClosed;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc description{SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&context_, &description) != SEC_E_OK) return;
    out_.clear();
    outSent_ = 0;
    Call(nullptr);
    Flush();
  }
  bool ClosedWithoutNotify() const override { return closedWithoutNotify_; }

  // Also true for a whole record still undecrypted: the socket may have
  // nothing more to say until it is read.
  bool Pending() override {
    if (plainAt_ < plain_.size() || state_ == State::kClosed) return true;
    if (needMore_ || inUsed_ < 5) return false;
    const std::size_t length =
        (static_cast<unsigned char>(In()[3]) << 8) | static_cast<unsigned char>(In()[4]);
    return inUsed_ >= 5 + length;
  }

  int SocketError() const override { return socketError_; }
  std::string Failure() const override { return failure_; }

 private:
  enum class State { kHandshake, kOpen, kRenegotiating, kClosed, kFailed };

  Io Fail(std::string failure) {
    failure_ = std::move(failure);
    state_ = State::kFailed;
    return Io::kFailed;
  }

  // Sends what is waiting; false with blocked_ set when the socket is full
  // or failed.
  bool Flush() {
    while (outSent_ < out_.size()) {
      int error = 0;
      const std::ptrdiff_t n =
          net::Send(socket_, out_.data() + outSent_, out_.size() - outSent_, error);
      if (n < 0) {
        if (error == kWouldBlock) {
          blocked_ = Io::kWantWrite;
        } else {
          socketError_ = error;
          state_ = State::kFailed;
          blocked_ = Io::kFailed;
        }
        return false;
      }
      outSent_ += static_cast<std::size_t>(n);
    }
    out_.clear();
    outSent_ = 0;
    return true;
  }

  // More bytes from the server: kDone, kWantRead, kClosed (TCP's end) or
  // kFailed.
  Io Receive() {
    // What is left moves to the front once the room behind it is short of a
    // record; only a handshake message larger than the buffer grows it.
    if (inStart_ > 0 && in_.size() - inStart_ - inUsed_ < kRecordMax) {
      std::memmove(in_.data(), In(), inUsed_);
      inStart_ = 0;
    }
    if (inUsed_ == in_.size()) {
      if (in_.size() >= kHandshakeMax) return Fail("TLS: a message from the server is too long");
      in_.resize(in_.size() * 2);
    }
    int error = 0;
    const std::ptrdiff_t n =
        net::Receive(socket_, In() + inUsed_, in_.size() - inStart_ - inUsed_, error);
    if (n > 0) {
      inUsed_ += static_cast<std::size_t>(n);
      needMore_ = false;
      return Io::kDone;
    }
    if (n == 0) return Io::kClosed;
    if (error == kWouldBlock) return Io::kWantRead;
    socketError_ = error;
    state_ = State::kFailed;
    return Io::kFailed;
  }

  // Whether the server's first bytes can be a TLS record's header: anything
  // else (an HTTP answer, say) is a server that does not speak TLS here.
  bool LooksLikeTls() const {
    const auto type = static_cast<unsigned char>(In()[0]);
    return (type >= 20 && type <= 24) && (inUsed_ < 2 || In()[1] == 3);
  }

  // Keeps the bytes Schannel has not used, which it names by their count at
  // the end of what it was given.
  void KeepExtra(const SecBuffer& extra) {
    if (extra.BufferType != SECBUFFER_EXTRA || extra.cbBuffer == 0) {
      inStart_ = 0;
      inUsed_ = 0;
      return;
    }
    inStart_ += inUsed_ - extra.cbBuffer;
    inUsed_ = extra.cbBuffer;
  }

  // Schannel's next handshake message (or close-notify) into out_.
  SECURITY_STATUS Call(SecBufferDesc* input) {
    SecBuffer output[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
    SecBufferDesc outputDescription{SECBUFFER_VERSION, 2, output};
    unsigned long attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        credentials_, hasContext_ ? &context_ : nullptr, target_.empty() ? nullptr : target_.data(),
        kContextFlags, 0, 0, input, 0, hasContext_ ? nullptr : &context_, &outputDescription,
        &attributes, nullptr);
    if (!hasContext_ && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
                         status == SEC_I_INCOMPLETE_CREDENTIALS)) {
      hasContext_ = true;
    }
    for (SecBuffer& b : output) {
      if (b.pvBuffer == nullptr) continue;
      if (b.BufferType == SECBUFFER_TOKEN) {
        out_.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
      }
      FreeContextBuffer(b.pvBuffer);
    }
    return status;
  }

  // One turn of the handshake (also of one the server starts later).
  void Step(bool withInput) {
    SecBuffer input[2] = {{static_cast<unsigned long>(inUsed_), SECBUFFER_TOKEN, In()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
    const SECURITY_STATUS status = Call(withInput ? &inputDescription : nullptr);
    if (!hasContext_) {
      Fail("TLS: cannot set up: " + Reason(status));
      return;
    }
    const char* const prefix =
        state_ == State::kRenegotiating ? "TLS: renegotiation failed: " : "TLS: handshake failed: ";
    switch (status) {
      case SEC_E_INCOMPLETE_MESSAGE:
        needMore_ = true;
        return;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        // The server asks for a client certificate: the next turn goes on
        // without one, and a Schannel that asks again would ask for ever.
        if (askedForCertificate_)
          Fail(prefix + std::string("the server wants a client certificate"));
        askedForCertificate_ = true;
        return;
      case SEC_I_CONTINUE_NEEDED:
        if (withInput) KeepExtra(input[1]);
        needMore_ = withInput ? inUsed_ == 0 : true;
        return;
      case SEC_E_OK:
        if (withInput) KeepExtra(input[1]);
        needMore_ = inUsed_ == 0;
        Established();
        return;
      default:
        Fail(prefix + Reason(status));
        return;
    }
  }

  // The handshake is through: the server's certificate decides whether a
  // single byte of ours goes out under it.
  void Established() {
    PCCERT_CONTEXT certificate = nullptr;
    SECURITY_STATUS status =
        QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
    if (status != SEC_E_OK || certificate == nullptr) {
      Fail("TLS: certificate verify failed: no certificate from the server");
      return;
    }
    const std::string problem = CertificateProblem(certificate, host_, caFile_);
    CertFreeCertificateContext(certificate);
    if (!problem.empty()) {
      out_.clear();  // not even the last handshake message
      Fail("TLS: certificate verify failed: " + problem);
      return;
    }
    status = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) {
      Fail("TLS: handshake failed: " + Reason(status));
      return;
    }
    state_ = State::kOpen;
  }

  void Decrypt() {
    SecBuffer buffers[4] = {{static_cast<unsigned long>(inUsed_), SECBUFFER_DATA, In()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needMore_ = true;
      return;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
      Fail("TLS: " + Reason(status));
      return;
    }
    // Wine's Schannel reads an alert (in TLS 1.2 its record's type is in
    // clear) as an empty record rather than as the end of the context.
    const bool alert = static_cast<unsigned char>(In()[0]) == 21;
    // The data lies inside in_, where the next receive may move things.
    plain_.clear();
    plainAt_ = 0;
    SecBuffer extra{0, SECBUFFER_EMPTY, nullptr};
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_DATA)
        plain_.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
      if (b.BufferType == SECBUFFER_EXTRA) extra = b;
    }
    KeepExtra(extra);
    needMore_ = inUsed_ == 0;
    if (status == SEC_I_CONTEXT_EXPIRED || (alert && plain_.empty())) {
      state_ = State::kClosed;  // the server's close-notify
    } else if (status == SEC_I_RENEGOTIATE) {
      // The server starts a handshake again (or, in TLS 1.3, sends a
      // message after it): Schannel takes it from here, with the bytes left.
      state_ = State::kRenegotiating;
      Step(true);
    }
  }

  net::SocketHandle socket_;
  std::string host_;
  std::string caFile_;
  std::wstring target_;
  CredHandle* credentials_;
  CtxtHandle context_{};
  bool hasContext_ = false;
  State state_ = State::kHandshake;
  SecPkgContext_StreamSizes sizes_{};

  // From the server, not yet used by Schannel: inUsed_ bytes from inStart_.
  char* In() { return in_.data() + inStart_; }
  const char* In() const { return in_.data() + inStart_; }
  std::vector<char> in_;
  std::size_t inStart_ = 0;
  std::size_t inUsed_ = 0;
  bool needMore_ = true;  // in_ holds no whole record or message yet
  std::string plain_;     // decrypted, not yet read
  std::size_t plainAt_ = 0;
  std::string out_;  // records and handshake messages not yet sent
  std::size_t outSent_ = 0;
  std::size_t taken_ = 0;  // bytes of the caller's in out_
  Io blocked_ = Io::kWantWrite;

  bool askedForCertificate_ = false;
  bool closedWithoutNotify_ = false;
  int socketError_ = 0;
  std::string failure_;
};

}  // namespace

bool TlsSession::Available() {
  return true;
}

std::unique_ptr<TlsSession> TlsSession::Create(net::SocketHandle s, const std::string& host,
                                               const TlsSettings& settings) {
  return std::make_unique<SchannelSession>(s, host, settings);
}

}  // namespace kalvoran
