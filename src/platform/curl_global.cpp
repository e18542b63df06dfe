#include "platform/curl_global.h"

#include <array>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/curl_handles.h"

namespace melvara::platform {

namespace {

// The process-wide cache that keeps sequential fetches to one host on one
// connection: connections, TLS sessions and DNS answers. Cookies are never
// shared, so every call still starts as a fresh session.
class SharedCache {
  public:
    SharedCache() : share_(curl_share_init()) {
        if (!share_) {
            return;
        }
        curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &SharedCache::Lock);
        curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &SharedCache::Unlock);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }

    CURLSH* get() const { return share_.get(); }

  private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<SharedCache*>(self)->MutexFor(data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<SharedCache*>(self)->MutexFor(data).unlock();
    }
    std::mutex& MutexFor(curl_lock_data data) {
        const auto index = static_cast<std::size_t>(data);
        return mutexes_[index < mutexes_.size() ? index : 0];
    }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
    CurlShare share_;  // declared last: cleaned up before the mutexes go
};

std::once_flag globalOnce;
bool globalOk = false;

SharedCache& Cache() {
    static SharedCache cache;
    return cache;
}

// The CA file named by the environment, as the curl tool reads it.
const char* ExtraCaFile() {
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return nullptr;
}

}  // namespace

bool EnsureCurlGlobal() {
    std::call_once(globalOnce, [] {
        globalOk = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (globalOk) {
            Cache();
        }
    });
    return globalOk;
}

CurlGlobal::CurlGlobal() : ok_(EnsureCurlGlobal()) {}

CurlEasy NewSharedEasy() {
    if (!EnsureCurlGlobal()) {
        return nullptr;
    }
    CurlEasy easy(curl_easy_init());
    if (!easy) {
        return nullptr;
    }
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_SHARE, Cache().get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // An empty proxy overrides http_proxy and friends from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    if (const char* caFile = ExtraCaFile()) {
        // Setting CAINFO replaces the built-in bundle; the system store stays
        // trusted through the CA directory.
        char* defaultPath = nullptr;
        curl_easy_getinfo(h, CURLINFO_CAPATH, &defaultPath);
        const std::string systemPath = defaultPath != nullptr ? defaultPath : "/etc/ssl/certs";
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile);
        curl_easy_setopt(h, CURLOPT_CAPATH, systemPath.c_str());
    }
    return easy;
}

}  // namespace melvara::platform
