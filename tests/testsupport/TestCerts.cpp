// Certificates made at test time with OpenSSL (Linux only): a CA, and server certificates.
#include <signal.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

#include "testsupport/TestServer.h"

namespace sentrel::test {

namespace {

EVP_PKEY* NewKey() {
    return EVP_EC_gen("P-256");
}

X509* NewCert(EVP_PKEY* key, const char* cn, const char* san, long notBeforeDays, long notAfterDays,
              X509* issuer, EVP_PKEY* issuerKey, bool isCa) {
    static long serial = 1;
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(x), notBeforeDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(x), notAfterDays * 86400L);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn),
                               -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer ? issuer : x, x, nullptr, nullptr, 0);
    auto add = [&](int nid, const char* value) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        X509_add_ext(x, ext, -1);
        X509_EXTENSION_free(ext);
    };
    if (isCa) {
        add(NID_basic_constraints, "critical,CA:TRUE");
        add(NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        add(NID_basic_constraints, "CA:FALSE");
        add(NID_subject_alt_name, san);
        add(NID_ext_key_usage, "serverAuth");
    }
    add(NID_subject_key_identifier, "hash");
    X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256());
    return x;
}

SSL_CTX* ServerCtx(X509* cert, EVP_PKEY* key) {
    // OpenSSL writes with write(): a client that hangs up would end the whole test process
    // by SIGPIPE. The test's servers take the error instead.
    signal(SIGPIPE, SIG_IGN);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx, cert);
    SSL_CTX_use_PrivateKey(ctx, key);
    return ctx;
}

}  // namespace

TestCerts::TestCerts(const std::string& dir) {
    EVP_PKEY* caKey = NewKey();
    X509* ca = NewCert(caKey, "Sentrel Test CA", nullptr, -1, 30, nullptr, nullptr, true);
    m_caFile = dir + "/ca.pem";
    if (FILE* f = std::fopen(m_caFile.c_str(), "w")) {
        PEM_write_X509(f, ca);
        std::fclose(f);
    }
    struct CertPlan {
        const char* cn;
        const char* san;
        long from, to;
        bool selfSigned;
    } specs[4] = {
        {"127.0.0.1", "IP:127.0.0.1", -1, 30, false},
        {"wrong.example", "DNS:wrong.example", -1, 30, false},
        {"127.0.0.1", "IP:127.0.0.1", -10, -1, false},
        {"127.0.0.1", "IP:127.0.0.1", -1, 30, true},
    };
    for (int i = 0; i < 4; ++i) {
        EVP_PKEY* key = NewKey();
        X509* cert = specs[i].selfSigned ? NewCert(key, specs[i].cn, specs[i].san, specs[i].from,
                                                   specs[i].to, nullptr, nullptr, false)
                                         : NewCert(key, specs[i].cn, specs[i].san, specs[i].from,
                                                   specs[i].to, ca, caKey, false);
        m_ctx[i] = ServerCtx(cert, key);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    X509_free(ca);
    EVP_PKEY_free(caKey);
}

TestCerts::~TestCerts() {
    for (SSL_CTX* c : m_ctx) SSL_CTX_free(c);
}


}  // namespace sentrel::test
