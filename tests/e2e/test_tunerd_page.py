"""tunerd's web page in a real browser: Debian's chromium, headless, driven by selenium, at a
phone's size, against tunerd with blaster-sim on pseudo-terminals."""

import os
import shutil
import tempfile
import time
import unittest

import harness
from test_tunerd_web import WebCase
from tunerd_harness import IRSEND

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    webdriver = None

CHROMIUM = shutil.which("chromium")
CHROMEDRIVER = shutil.which("chromedriver")


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
@unittest.skipUnless(webdriver and CHROMIUM and CHROMEDRIVER,
                     "chromium, chromium-driver and python3-selenium (scripts/bootstrap)")
class WebPage(WebCase):
    def open_page(self):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        profile = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, profile, True)
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=412,915",
                     "--user-data-dir=" + profile]:
            options.add_argument(flag)
        browser = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.addCleanup(browser.quit)
        browser.implicitly_wait(10)
        browser.get("http://127.0.0.1:%d/" % self.http_port)
        return browser

    def button(self, browser, text, within=None):
        return (within or browser).find_element(By.XPATH, ".//button[text()='%s']" % text)

    def text_of(self, browser, element_id):
        return browser.find_element(By.ID, element_id).text

    def test_keypad_channel_and_names_shown_as_text(self):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n<script>alert(1)</script>.=%s&2,423.\n" % (port, port))
        browser = self.open_page()
        cards = browser.find_elements(By.CLASS_NAME, "tuner")
        self.assertEqual(cards[1].find_element(By.TAG_NAME, "h2").text,
                         "<script>alert(1)</script>.")
        self.button(browser, "4", cards[0]).click()
        self.wait_for(lambda: self.key_numbers(sim) == [4], "key 4 from the keypad")
        channel = cards[0].find_element(
            By.XPATH, ".//label[text()='Channel']/following-sibling::input")
        channel.send_keys("42")
        self.button(browser, "Tune", cards[0]).click()
        self.wait_for(lambda: self.key_numbers(sim) == [4, 10, 4, 2], "channel 42 from the page")
        self.wait_for(lambda: "channel 42 sent to tuner" in cards[0].find_element(
            By.CLASS_NAME, "last").text, "the result's sentence on the page")
        target = os.environ.get("TUNER_SCREENSHOT")
        if target:
            browser.save_screenshot(target)

    def test_a_search_from_the_page_ends_with_the_tuner_line(self):
        sim, port = self.attach_blaster("--box", "2,7")
        self.start_web("Living.=%s&2,423.\n" % port)
        browser = self.open_page()
        for field, value in [("search-port", port), ("search-type", "2"), ("search-from", "4")]:
            browser.find_element(By.ID, field).clear()
            browser.find_element(By.ID, field).send_keys(value)
        self.button(browser, "Start").click()
        # The user sees the box react, then presses the big button.
        self.wait_for(lambda: any(f.kind == "box" for f in sim.frames()), "the box to react", 60)
        browser.find_element(By.ID, "search-reacted").click()
        deadline = time.monotonic() + 60
        while "Tuner1.=" not in self.text_of(browser, "search-line"):
            self.assertLess(time.monotonic(), deadline, self.text_of(browser, "search-line"))
            question = browser.find_element(By.ID, "search-question")
            line = self.text_of(browser, "search-line")
            if question.is_displayed() and "did the box react" in line:
                answer = "search-yes" if "code set 2,7 " in line else "search-no"
                browser.find_element(By.ID, answer).click()
                self.wait_for(lambda: self.text_of(browser, "search-line") != line, "the answer")
            time.sleep(0.1)
        self.assertEqual(self.text_of(browser, "search-line"), "Tuner1.=%s&2,7." % port)
        self.irsend("SEND_ONCE", "Living.", "KEY_1")


if __name__ == "__main__":
    unittest.main()
