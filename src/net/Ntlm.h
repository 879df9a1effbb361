// NTLM messages (negotiate, challenge, authenticate) and the LM and NT
// responses. Messages travel as Base64 text.
#pragma once
#include <array>
#include <cstdint>
#include <string>

// What a challenge (type-2) message told us.
struct TNTLM_Msg2_Info {
    bool Valid = false;
    std::string Target;       // the target name's bytes, unchanged
    std::wstring ServerName;  // target information item 1
    std::wstring DomainName;  // target information item 2
    std::array<uint8_t, 8> Challenge{};
};

using TNtlmResponse = std::array<uint8_t, 24>;

// Type-1 message for a workstation and a domain (both may be empty).
std::string NtlmGetMessage1(const std::string& workstation, const std::string& domain);
// Reads a type-2 message. Broken, short or hostile messages give Valid false;
// fields whose buffers point outside the message are left empty.
TNTLM_Msg2_Info NtlmGetMessage2(const std::string& base64);
// Type-3 message. Texts are UTF-8; they travel as UTF-16LE.
std::string NtlmGetMessage3(const std::string& domain, const std::string& host,
                            const std::string& user, const std::string& password,
                            const std::array<uint8_t, 8>& challenge);

// The responses to a server challenge; password in UTF-8.
TNtlmResponse NtlmLmResponse(const std::string& password, const std::array<uint8_t, 8>& challenge);
TNtlmResponse NtlmNtResponse(const std::string& password, const std::array<uint8_t, 8>& challenge);
// The 16-byte hashes the responses are made from.
std::array<uint8_t, 16> NtlmLmHash(const std::string& password);
std::array<uint8_t, 16> NtlmNtHash(const std::string& password);
