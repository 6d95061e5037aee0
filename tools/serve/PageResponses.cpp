// The responses of the page server: the page, whose script keeps it showing
// the latest preview, and the short answers that refuse a request.

#include "serve/PageResponses.h"

#include "serve/HttpRequest.h"

namespace Herald {

namespace {

// Keeps an open page showing the latest preview: told a new version, it
// fetches the page once and swaps its body in place, keeping the scroll
// position; it says so while a save is being previewed and when herald is
// gone. Events carry no page, so a big page is sent once per open page and
// made once per save, whatever number of pages follow it.
constexpr const char* LiveScript = R"(<style>
#herald-live { position: fixed; top: 0; left: 0; right: 0; z-index: 10; margin: 0; padding: 6px 40px;
  background: #3b3010; color: #f6c453; font-weight: 600; }
</style><script>
(() => {
  const versionOf = (page) => {
    const meta = page.querySelector('meta[name="herald-version"]');
    return meta ? meta.content : '';
  };
  let version = versionOf(document);
  let wanted = version;
  let fetching = false;
  const notice = (text) => {
    let bar = document.getElementById('herald-live');
    if (!text) { if (bar) bar.remove(); return; }
    if (!bar) { bar = document.createElement('p'); bar.id = 'herald-live'; document.body.prepend(bar); }
    bar.textContent = text;
  };
  const silent = () => notice('herald is not answering: this page shows the last preview it sent, ' +
                              'which may not be the file as saved now.');
  // One fetch at a time; versions announced meanwhile are fetched once after it.
  const follow = async () => {
    fetching = true;
    try {
      while (wanted !== version) {
        const asked = wanted;
        const response = await fetch('/', { cache: 'no-store' });
        if (!response.ok) throw new Error('status ' + response.status);
        const fresh = new DOMParser().parseFromString(await response.text(), 'text/html');
        version = versionOf(fresh);
        if (wanted === asked) wanted = version;
        const x = window.scrollX, y = window.scrollY;
        document.title = fresh.title;
        document.body.replaceWith(fresh.body);
        window.scrollTo(x, y);
      }
      notice('');
    } catch (error) {
      silent();
    }
    fetching = false;
  };
  const events = new EventSource('/events?since=' + encodeURIComponent(version));
  events.addEventListener('page', (event) => {
    wanted = event.lastEventId;
    if (wanted === version) notice('');
    else if (!fetching) follow();
  });
  events.addEventListener('save', () => notice('The file was saved: previewing it again...'));
  events.onopen = () => { if (!fetching) notice(''); };
  events.onerror = silent;
})();
</script>
)";

// The page does fetch, but only from this server.
constexpr const char* PagePolicy =
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; connect-src 'self'";

}  // namespace

std::string PageResponse(const std::string& html, const std::string& version) {
    const std::string head = "<meta name=\"herald-version\" content=\"" + version + "\">" + LiveScript;
    const std::size_t at = html.find("</head>");
    const std::size_t bodySize = html.size() + (at == std::string::npos ? 0 : head.size());
    std::string response = std::string("HTTP/1.1 200 OK\r\n") +
                           "Content-Type: text/html; charset=utf-8\r\n"
                           "Content-Length: " +
                           std::to_string(bodySize) +
                           "\r\n"
                           "Cache-Control: no-store\r\n"
                           "Content-Security-Policy: " +
                           PagePolicy +
                           "\r\n"
                           "Connection: close\r\n\r\n";
    response.reserve(response.size() + bodySize);
    if (at == std::string::npos) {
        response += html;
    } else {
        response.append(html, 0, at).append(head).append(html, at);
    }
    return response;
}

SharedText ShortResponse(int status) {
    const std::string text = std::to_string(status) + " " + StatusText(status) + "\n";
    return std::make_shared<const std::string>("HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                                               "\r\n"
                                               "Content-Type: text/plain; charset=utf-8\r\n"
                                               "Content-Length: " +
                                               std::to_string(text.size()) +
                                               "\r\n"
                                               "Cache-Control: no-store\r\n" +
                                               (status == 405 ? "Allow: GET\r\n" : "") + "Connection: close\r\n\r\n" +
                                               text);
}

}  // namespace Herald
