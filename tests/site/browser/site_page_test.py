#!/usr/bin/python3
"""The site page in a real browser against the real chain: simulated units, kelvo-gateway,
mosquitto and kelvo-site, each started here on loopback ports.

Usage: site_page_test.py KELVO_SITE KELVO_GATEWAY KELVO_FRAME PROFILE
With KVZ_SCREENSHOTS=DIR it also saves DIR/site.png and DIR/site-unit.png (1280x800).
"""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

INTERVAL_MS = 250
OFFLINE_AFTER = 3


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Chain:
    """Every process the test starts, stopped whatever happens."""

    def __init__(self, tmp):
        self.tmp = tmp
        self.procs = []

    def start(self, name, args, **kwargs):
        log = open(os.path.join(self.tmp, f"{name}.log"), "w")
        proc = subprocess.Popen(args, stdout=kwargs.pop("stdout", log), stderr=log, **kwargs)
        proc.log_name = name
        self.procs.append(proc)
        return proc

    def stop(self, proc):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def stop_all(self):
        for proc in reversed(self.procs):
            self.stop(proc)

    def log(self, name):
        try:
            with open(os.path.join(self.tmp, f"{name}.log")) as f:
                return f.read()[-3000:]
        except OSError:
            return ""


def wait_for(what, condition, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def start_sim(chain, frame, name, addresses):
    out = os.path.join(chain.tmp, f"{name}.out")
    with open(out, "w") as stdout:
        proc = chain.start(name, [frame, "simulate", "--listen", "tcp://127.0.0.1:0",
                                  "--address", addresses, "--seed", "1"], stdout=stdout)
    url = wait_for(f"{name} to listen", lambda: open(out).readline().strip())
    return proc, url


def mosquitto_up(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


def http_json(url):
    try:
        with urllib.request.urlopen(url, timeout=1) as answer:
            return json.load(answer)
    except Exception:  # 503 while subscribing, refused while starting
        return None


def main():
    site_bin, gateway_bin, frame_bin, profile = sys.argv[1:5]
    shots = os.environ.get("KVZ_SCREENSHOTS")
    tmp = tempfile.mkdtemp(prefix="kvz-site-page-")
    chain = Chain(tmp)
    driver = None
    ok = False
    try:
        mqtt_port = free_port()
        with open(os.path.join(tmp, "mosquitto.conf"), "w") as f:
            f.write(f"listener {mqtt_port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        chain.start("mosquitto", ["mosquitto", "-c", os.path.join(tmp, "mosquitto.conf")])
        wait_for("mosquitto", lambda: mosquitto_up(mqtt_port))

        _, rack_a = start_sim(chain, frame_bin, "sim-a", "1-3")
        sim_b, rack_b = start_sim(chain, frame_bin, "sim-b", "7")

        prefix = "kelvo/site-a"
        # Address 3 starts at 50 % charge: below soc_low's 55 from its first answer.
        gateway_toml = os.path.join(tmp, "gateway.toml")
        with open(gateway_toml, "w") as f:
            f.write(f"""[broker]
url = "mqtt://127.0.0.1:{mqtt_port}"
client_id = "page-test-gateway"
topic_prefix = "{prefix}"
stats_interval_ms = 1000
offline_after = {OFFLINE_AFTER}

[[bus]]
name = "a"
port = "{rack_a}"
interval_ms = {INTERVAL_MS}
addresses = [1, 2, 3]

[[bus]]
name = "b"
port = "{rack_b}"
interval_ms = {INTERVAL_MS}
addresses = [7]

[site]
profile = "{profile}"
state_dir = "{tmp}"

[[alarm]]
name = "soc_low"
value = "soc"
below = 55
severity = "warning"
""")
        chain.start("gateway", [gateway_bin, "--config", gateway_toml])

        http_port = free_port()
        site_toml = os.path.join(tmp, "site.toml")
        with open(site_toml, "w") as f:
            f.write(f"""[broker]
url = "mqtt://127.0.0.1:{mqtt_port}"
topic_prefixes = ["{prefix}"]
client_id = "page-test-site"

[store]
url = "sqlite://{tmp}/site.db"

[site]
profile = "{profile}"

[http]
listen = "127.0.0.1:{http_port}"
""")
        page_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "site", "page")
        chain.start("site", [site_bin, "--config", site_toml, "--page-dir", os.path.normpath(page_dir)])
        base = f"http://127.0.0.1:{http_port}"
        wait_for("kelvo-site healthy", lambda: (http_json(f"{base}/healthz") or {}).get("subscribed"))

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=1280,800", "--lang=en-GB", "--force-device-scale-factor=1"):
            options.add_argument(arg)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        # The viewport itself 1280x800, whatever the window's frame takes.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        driver.get(f"{base}/")
        wait = WebDriverWait(driver, 20, poll_frequency=0.05,
                             ignored_exceptions=(StaleElementReferenceException,))

        units = [f"{prefix}/a/1", f"{prefix}/a/2", f"{prefix}/a/3", f"{prefix}/b/7"]

        def tile_states(d):
            tiles = d.find_elements(By.CSS_SELECTOR, "[data-unit]")
            return {t.get_attribute("data-unit"): t.get_attribute("data-state") for t in tiles}

        wait.until(lambda d: set(tile_states(d)) == set(units)
                   and all(s in ("critical", "warning", "offline", "ok") for s in tile_states(d).values()))
        wait.until(lambda d: tile_states(d)[f"{prefix}/a/3"] == "warning", "a/3 in warning (soc_low)")
        order = [t.get_attribute("data-unit") for t in driver.find_elements(By.CSS_SELECTOR, "[data-unit]")]
        assert order[0] == f"{prefix}/a/3", f"the warning unit comes first: {order}"
        # Then lowest charge first: 2 and 7 start at 60 %, 1 at 70 %.
        assert order[-1] == f"{prefix}/a/1", f"the fullest unit comes last: {order}"

        # The alarm, acknowledged from the list: the gateway's list comes back acknowledged.
        alarm_id = f"{prefix}/a/3/soc_low"
        row_css = f'[data-alarm="{alarm_id}"]'
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, f'{row_css} [data-action="ack"]'))
        driver.find_element(By.CSS_SELECTOR, f'{row_css} [data-action="ack"]').click()
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, row_css).get_attribute("data-acknowledged") == "true",
                   "the alarm row acknowledged")

        # A bus's sim gone: its unit greys within offline_after rounds (and the timeouts).
        chain.stop(sim_b)
        stopped = time.monotonic()
        WebDriverWait(driver, 10, poll_frequency=0.05).until(
            lambda d: tile_states(d)[f"{prefix}/b/7"] == "offline", "b/7 greyed offline")
        took = time.monotonic() - stopped
        limit = OFFLINE_AFTER * INTERVAL_MS / 1000 * 2 + 3  # rounds, their timeouts, one push
        assert took < limit, f"offline after {took:.1f} s, over {limit:.1f} s"
        tile = driver.find_element(By.CSS_SELECTOR, f'[data-unit="{prefix}/b/7"]')
        assert "last seen" in tile.text, tile.text
        # Its bus has no unit left online: the bank's figures are shown as stale.
        wait.until(lambda d: "is-stale" in d.find_element(By.CSS_SELECTOR, f'[data-bank="{prefix}/b"]')
                   .get_attribute("class"), "bus b's bank greyed")
        assert "is-stale" not in driver.find_element(By.CSS_SELECTOR, f'[data-bank="{prefix}/a"]') \
            .get_attribute("class")

        if shots:
            os.makedirs(shots, exist_ok=True)
            wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bank"))
            driver.save_screenshot(os.path.join(shots, "site.png"))

        # A tile opens its unit: values with the profile's decimals and unit, a chart of history.
        driver.find_element(By.CSS_SELECTOR, f'[data-unit="{prefix}/a/1"]').click()
        wait.until(lambda d: "#/unit/" in d.current_url)
        voltage = wait.until(lambda d: next(
            (e.text for e in d.find_elements(By.CSS_SELECTOR, "[data-key=total_voltage]")
             if re.fullmatch(r"\d+\.\d{2} V", e.text)), None))
        assert 40 < float(voltage.split()[0]) < 60, voltage
        wait.until(lambda d: int(d.find_element(By.ID, "chart").get_attribute("data-points") or 0) >= 3)
        canvas_drawn = driver.execute_script(
            "const c = document.querySelector('#chart canvas'); return c && c.width > 100 && c.height > 100;")
        assert canvas_drawn, "the chart has a canvas"
        # Live points keep coming at the right edge.
        points = lambda d: int(d.find_element(By.ID, "chart").get_attribute("data-points") or 0)
        before = points(driver)
        wait.until(lambda d: points(d) > before)
        # A shorter range asks again, at the answers' own times: more points than the hour's steps.
        hour_points = points(driver)
        driver.find_element(By.CSS_SELECTOR, '[data-range="10m"]').click()
        wait.until(lambda d: points(d) > hour_points + 5)

        if shots:
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(os.path.join(shots, "site-unit.png"))

        # And back.
        driver.find_element(By.CSS_SELECTOR, ".back").click()
        wait.until(lambda d: d.find_element(By.ID, "site-view").is_displayed())

        # Chinese from the switch: the page's texts and the tiles' labels, kept across a reload.
        driver.find_element(By.ID, "lang-switch").click()
        wait.until(lambda d: "电流" in d.find_element(By.CSS_SELECTOR, f'[data-unit="{prefix}/a/1"]').text)
        driver.refresh()
        wait.until(lambda d: "当前报警" in d.find_element(By.CSS_SELECTOR, ".alarms-panel h2").text)

        # With a token: the page asks once, then the API and the live connection take it.
        token_file = os.path.join(tmp, "site-token")
        with open(os.open(token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write("page-test-token\n")
        guarded_port = free_port()
        guarded_toml = os.path.join(tmp, "guarded.toml")
        with open(guarded_toml, "w") as f:
            f.write(open(site_toml).read()
                    .replace(f"127.0.0.1:{http_port}", f"127.0.0.1:{guarded_port}")
                    .replace("site.db", "guarded.db").replace('"page-test-site"', '"page-test-guarded"')
                    + f'token_file = "{token_file}"\n')
        chain.start("guarded", [site_bin, "--config", guarded_toml, "--page-dir", os.path.normpath(page_dir)])
        guarded = f"http://127.0.0.1:{guarded_port}"
        wait_for("the guarded kelvo-site", lambda: (http_json(f"{guarded}/healthz") or {}).get("subscribed"))
        driver.get(f"{guarded}/")
        wait.until(lambda d: d.find_element(By.ID, "token-dialog").get_attribute("open") is not None)
        driver.find_element(By.ID, "token-input").send_keys("page-test-token\n")
        wait.until(lambda d: len(tile_states(d)) == 4)
        wait.until(lambda d: d.find_element(By.ID, "live-dot").get_attribute("class") == "live-dot up")
        assert driver.execute_script("return localStorage.getItem('kvz-site-token')") == "page-test-token"

        # The broker gone: the live health message raises the banner.
        chain.stop(chain.procs[0])
        wait.until(lambda d: any("broker" in b.text.lower() for b in d.find_elements(By.CSS_SELECTOR, ".banner-critical")),
                   "a banner saying the broker is away")

        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"
                  and "status of 401" not in entry["message"]]  # the token's first ask
        assert not errors, f"browser errors: {errors}"
        ok = True
    except (AssertionError, WebDriverException) as error:
        print(f"FAILED: {error}", file=sys.stderr)
        if driver:
            try:
                for entry in driver.get_log("browser"):
                    print(f"browser: {entry['message']}", file=sys.stderr)
            except WebDriverException:
                pass
        for name in ("site", "gateway", "mosquitto"):
            print(f"--- {name} log ---\n{chain.log(name)}", file=sys.stderr)
    finally:
        if driver:
            driver.quit()
        chain.stop_all()
        shutil.rmtree(tmp, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
