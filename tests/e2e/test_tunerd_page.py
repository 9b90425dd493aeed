"""tunerd's web page in a real browser: Debian's chromium, headless, driven by selenium, as a
phone of 412x915 shows it, against tunerd with blaster-sim on pseudo-terminals; and pages of
other sites in the same browser, which must press nothing."""

import http.server
import os
import shutil
import signal
import tempfile
import threading
import time
import unittest

import harness
from test_tunerd_web import WebCase
from tunerd_harness import IRSEND

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    webdriver = None

CHROMIUM = shutil.which("chromium")
CHROMEDRIVER = shutil.which("chromedriver")


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
@unittest.skipUnless(webdriver and CHROMIUM and CHROMEDRIVER,
                     "chromium, chromium-driver and python3-selenium (scripts/bootstrap)")
class BrowserCase(WebCase):
    def browser(self, *flags):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        profile = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, profile, True)
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + profile] + list(flags):
            options.add_argument(flag)
        # A phone's screen, as chromium's device emulation has it.
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 412, "height": 915, "pixelRatio": 2.625}})
        browser = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.addCleanup(browser.quit)
        browser.implicitly_wait(10)
        return browser

    def open_page(self, *flags):
        browser = self.browser(*flags)
        browser.get("http://127.0.0.1:%d/" % self.http_port)
        return browser

    def serve_pages(self, address, pages):
        """Another site: pages by path, on a port of its own at address."""
        class Pages(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = pages.get(self.path.split("?")[0], "").encode()
                self.send_response(200 if body else 404)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer((address, 0), Pages)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return server.server_address[1]

    def button(self, within, text):
        return within.find_element(By.XPATH, ".//button[normalize-space()='%s']" % text)

    def text_of(self, browser, element_id):
        return browser.find_element(By.ID, element_id).text

    def in_view(self, browser, element):
        return browser.execute_script(
            "const r = arguments[0].getBoundingClientRect();"
            "return r.height > 0 && r.top >= 0 && r.bottom <= window.innerHeight;", element)

    def shoot(self, browser, variable):
        target = os.environ.get(variable)
        if target:
            browser.save_screenshot(target)


class WebPage(BrowserCase):
    def test_keys_channels_and_their_answers_as_a_phone_shows_them(self):
        sim, port = self.attach_blaster()
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living.=KEY_CHANNELDOWN 12 Sleep_Timer 13\n")
        self.start_web("Living.=%s&2,423.\n<script>alert(1)</script>.=%s&2,423.\n" % (port, port))
        browser = self.open_page()
        self.assertEqual(browser.execute_script("return window.innerWidth"), 412)
        cards = browser.find_elements(By.CLASS_NAME, "tuner")
        self.assertEqual(cards[1].find_element(By.TAG_NAME, "h2").text,
                         "<script>alert(1)</script>.")
        living = cards[0]
        self.button(living, "4").click()
        self.wait_for(lambda: self.key_numbers(sim) == [4], "key 4 from the keypad")
        # Buttons as people name them, each ready once the request before it is done.
        down = self.button(living, "Channel down")
        self.wait_for(down.is_enabled, "the keypad free again")
        down.click()
        self.wait_for(lambda: self.key_numbers(sim) == [4, 12], "Channel down")
        self.button(living, "Sleep_Timer")
        # Enter tunes; while it runs, the tuner's buttons wait and say so.
        channel = living.find_element(By.ID, "channel-0")
        label = living.find_element(By.XPATH, ".//label[@for='channel-0']")
        self.assertLess(channel.location["y"] - label.location["y"], 40)
        tune = living.find_element(By.XPATH, ".//button[@type='submit' and @class='main']")
        self.wait_for(tune.is_enabled, "the keypad free again")
        channel.send_keys("42" + Keys.ENTER)
        self.wait_for(lambda: tune.text == "Sending…", "Tune busy")
        self.assertFalse(tune.is_enabled())
        self.assertFalse(self.button(living, "4").is_enabled())
        self.wait_for(lambda: "channel 42 sent to tuner" in living.find_element(
            By.CLASS_NAME, "last").text, "the result's sentence on the page")
        self.assertEqual(self.key_numbers(sim), [4, 12, 10, 4, 2])
        self.assertTrue(tune.is_enabled())
        self.assertEqual(tune.text, "Tune")
        # A typo is told beside its field in plain words, and the last result stays.
        channel.clear()
        channel.send_keys("4x" + Keys.ENTER)
        problem = living.find_element(By.CSS_SELECTOR, "form .problem")
        self.wait_for(problem.is_displayed, "the problem beside the field")
        self.assertIn("Type a channel number", problem.text)
        self.assertIn("channel 42 sent", living.find_element(By.CLASS_NAME, "last").text)
        self.shoot(browser, "TUNER_SCREENSHOT")
        self.assertEqual(self.key_numbers(sim), [4, 12, 10, 4, 2])

    def test_a_search_from_the_page_ends_with_the_tuner_line_and_where_it_goes(self):
        known, known_port = self.attach_blaster()
        sim, port = self.attach_blaster("--box", "2,7")
        self.start_web("Living.=%s&2,423.\n" % known_port)
        browser = self.open_page()
        # Find names the blaster that tuner.txt lacks first.
        browser.find_element(By.ID, "find-ports").send_keys(known_port + " " + port + Keys.ENTER)
        self.wait_for(lambda: browser.find_element(By.ID, "search-port").get_attribute("value"),
                      "the port found", 30)
        self.assertEqual(browser.find_element(By.ID, "search-port").get_attribute("value"), port)
        for field, value in [("search-type", "2"), ("search-from", "4")]:
            browser.find_element(By.ID, field).clear()
            browser.find_element(By.ID, field).send_keys(value)
        browser.find_element(By.ID, "search-start").click()
        reacted = browser.find_element(By.ID, "search-reacted")
        self.wait_for(reacted.is_displayed, "It reacted")
        self.wait_for(lambda: self.in_view(browser, reacted), "It reacted in view")
        bar = browser.find_element(By.ID, "search-bar")
        self.wait_for(lambda: float(bar.get_attribute("value")) > 0, "the progress bar")
        self.assertIn("%", self.text_of(browser, "search-count"))
        # The user sees the box react, then presses the big button.
        self.wait_for(lambda: any(f.kind == "box" for f in sim.frames()), "the box to react", 60)
        reacted.click()
        question = browser.find_element(By.ID, "search-question")
        deadline = time.monotonic() + 60
        shot = False
        while not browser.find_element(By.ID, "search-confirmed").is_displayed():
            self.assertLess(time.monotonic(), deadline, self.text_of(browser, "search-message"))
            message = self.text_of(browser, "search-message")
            if question.is_displayed() and "did the box react" in message:
                self.assertTrue(self.in_view(browser, question))
                if not shot:
                    self.shoot(browser, "TUNER_SEARCH_SCREENSHOT")
                    shot = True
                answer = "search-yes" if "code set 2,7 " in message else "search-no"
                browser.find_element(By.ID, answer).click()
                self.wait_for(lambda: self.text_of(browser, "search-message") != message,
                              "the answer")
            time.sleep(0.1)
        self.assertEqual(self.text_of(browser, "search-line"), "Tuner1.=%s&2,7." % port)
        self.assertIn(os.path.join(self.capture, "tuner.txt"),
                      self.text_of(browser, "search-where"))
        self.irsend("SEND_ONCE", "Living.", "KEY_1")

    def test_a_tunerd_gone_mid_search_shows_as_unreachable_and_the_search_as_ended(self):
        sim, port = self.attach_blaster()
        daemon = self.start_web("Living.=%s&2,423.\n" % port)
        browser = self.open_page()
        browser.find_element(By.ID, "search-port").send_keys(port)
        browser.find_element(By.ID, "search-start").click()
        stop = browser.find_element(By.ID, "search-stop")
        self.wait_for(stop.is_displayed, "the search running")
        daemon.send_signal(signal.SIGTERM)
        daemon.wait(timeout=30)
        banner = browser.find_element(By.ID, "offline")
        self.wait_for(banner.is_displayed, "the banner")
        self.assertTrue(self.in_view(browser, banner))
        self.wait_for(lambda: "cannot be reached" in self.text_of(browser, "search-message"),
                      "the search shown as ended")
        self.assertFalse(stop.is_displayed())
        self.assertTrue(browser.find_element(By.ID, "search-start").is_displayed())

    def test_a_favourite_tunes_from_the_phone(self):
        sim, port = self.attach_blaster()
        with open(os.path.join(self.capture, "channels.txt"), "w") as channels:
            channels.write("Living.=101 as 1501 BBC One HD\nLiving.=7 as 107\n")
        self.start_web("Living.=%s&2,423.\n" % port)
        browser = self.open_page()
        living = browser.find_elements(By.CLASS_NAME, "tuner")[0]
        favourite = self.button(living, "BBC One HD")
        self.assertTrue(self.in_view(browser, favourite))
        favourite.click()
        self.wait_for(lambda: "channel BBC One HD as 1501 sent" in living.find_element(
            By.CLASS_NAME, "last").text, "the favourite's result")
        # A name typed in the Channel field does the same.
        tune = living.find_element(By.XPATH, ".//button[@type='submit' and @class='main']")
        self.wait_for(tune.is_enabled, "the keypad free again")
        living.find_element(By.ID, "channel-0").send_keys("bbc one hd" + Keys.ENTER)
        self.wait_for(lambda: len(self.key_numbers(sim)) == 8, "the name typed")
        self.assertEqual(self.key_numbers(sim), [1, 5, 10, 1] * 2)

    def test_the_token_is_asked_once_and_kept(self):
        sim, port = self.attach_blaster()
        token_file = os.path.join(self.work, "token")
        with open(token_file, "w") as out:
            out.write("page-token\n")
        self.start_web("Living.=%s&2,423.\n" % port, "--http-token-file", token_file)
        browser = self.open_page()
        ask = browser.find_element(By.ID, "token-ask")
        self.wait_for(ask.is_displayed, "the page asks for the token")
        self.assertEqual(browser.find_elements(By.CLASS_NAME, "tuner"), [])
        browser.find_element(By.ID, "token").send_keys("page-token" + Keys.ENTER)
        self.wait_for(lambda: browser.find_elements(By.CLASS_NAME, "tuner"), "the tuners")
        browser.refresh()
        self.button(browser.find_elements(By.CLASS_NAME, "tuner")[0], "5").click()
        self.wait_for(lambda: self.key_numbers(sim) == [5], "key 5 with the kept token")
        self.assertFalse(browser.find_element(By.ID, "token-ask").is_displayed())


class HostilePages(BrowserCase):
    def smuggling_page(self, target):
        """A page that posts, as a plain form may, a body that spells out a keys request."""
        json_body = '{"keys":["KEY_6"],"x":"="}'
        hidden = ("POST /api/tuners/Living./keys HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                  "Content-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                  '{"keys":["KEY_6"],"x":"' % (self.http_port, len(json_body)))
        return ("<form method=post enctype=text/plain action='%s/api/tuners/Living./tune'>"
                "<input type=hidden id=f></form><script>"
                "const f = document.getElementById('f'); f.name = %r; f.value = '\"}';"
                "document.forms[0].submit();</script>" % (target, hidden))

    def test_requests_hidden_in_forms_of_other_pages_press_nothing(self):
        sim, _ = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % sim.slave[len("/dev/"):])
        tunerd = "http://127.0.0.1:%d" % self.http_port
        other = self.serve_pages("127.0.0.2", {"/": self.smuggling_page(tunerd)})
        here = self.serve_pages("127.0.0.1", {
            "/": self.smuggling_page(tunerd),
            "/rebound": self.smuggling_page("http://rebound.example:%d" % self.http_port)})
        browser = self.browser("--host-resolver-rules=MAP rebound.example 127.0.0.1")
        for page in ["http://127.0.0.2:%d/" % other, "http://localhost:%d/" % here,
                     "http://rebound.example:%d/rebound" % here]:
            browser.get(page)
            time.sleep(2)
        self.assertRegex(self.log(), r"POST /api/tuners/Living\./tune: 403")
        time.sleep(1)
        self.assertEqual(self.keys(sim), [])

    def test_an_image_of_another_site_keeps_no_search_alive(self):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % port)
        status, search, _ = self.call("POST", "/api/searches", {"port": port, "ueitype": 3})
        self.assertEqual(status, 201, search)
        path = "/api/searches/" + search["id"]
        poller = ("<img id=i><script>setInterval(() => { document.getElementById('i').src = "
                  "'http://127.0.0.1:%d%s?' + Date.now(); fetch('http://127.0.0.1:%d%s/watch', "
                  "{method: 'POST', mode: 'no-cors', body: '{}'}).catch(() => 0); }, 500);"
                  "</script>" % (self.http_port, path, self.http_port, path))
        other = self.serve_pages("127.0.0.2", {"/": poller})
        browser = self.browser()
        browser.get("http://127.0.0.2:%d/" % other)
        self.wait_for(lambda: self.call("GET", path)[1]["phase"] == "ended",
                      "the search to stop, watched by nobody it knows", 20)
        self.assertIn("the page stopped asking", self.call("GET", path)[1]["message"])
        self.irsend("SEND_ONCE", "Living.", "KEY_2")
        self.assertEqual(self.key_numbers(sim)[-1], 2)


if __name__ == "__main__":
    unittest.main()
