// libcurl for the commands that talk to the back end, loaded the first time
// one of them sends a request. Linked the usual way, the library and the
// thirty-odd libraries it pulls in (TLS, Kerberos, directory services) are
// loaded and initialised by every run of kestrova-cli, which made a scan or
// an upload of a small site start several times slower than the work itself.
#pragma once

#include <curl/curl.h>

#include <string>

namespace kestrova::cli {

struct CurlLibrary {
  decltype(&::curl_global_init) global_init;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_perform) easy_perform;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_easy_strerror) easy_strerror;
  decltype(&::curl_slist_append) slist_append;
  decltype(&::curl_slist_free_all) slist_free_all;
};

// The loaded library, initialised once; throws std::runtime_error naming
// what is missing when it cannot be loaded.
const CurlLibrary& Curl();

}  // namespace kestrova::cli
