#!/usr/bin/python3
"""The site page under a site of BUSES x UNITS simulated units polled once a second:
chromium's main-thread busy share over SECONDS (Performance.getMetrics TaskDuration and
ScriptDuration) and the page's first paint, against the real chain (sims, kelvo-gateway,
mosquitto, kelvo-site).

  bench/site_page.py BUILD_DIR [SECONDS] [BUSES] [UNITS]     default 60 20 50
"""

import os
import socket
import subprocess
import sys
import tempfile
import time
import shutil
import signal
import json
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, condition, timeout=30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise SystemExit(f"timed out waiting for {what}")


def healthy(url):
    try:
        with urllib.request.urlopen(url, timeout=1) as answer:
            return json.load(answer).get("subscribed")
    except Exception:
        return False


def metrics(driver):
    got = driver.execute_cdp_cmd("Performance.getMetrics", {})
    return {m["name"]: m["value"] for m in got["metrics"]}


def main():
    build = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    buses = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    per_bus = int(sys.argv[4]) if len(sys.argv) > 4 else 50
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    profile = os.path.join(root, "profile", "default.toml")
    tmp = tempfile.mkdtemp(prefix="kvz-site-bench-")
    procs = []
    driver = None

    def start(name, args, stdout=None):
        log = open(os.path.join(tmp, f"{name}.log"), "w")
        procs.append(subprocess.Popen(args, stdout=stdout or log, stderr=log))
        return procs[-1]

    try:
        mqtt_port = free_port()
        with open(f"{tmp}/mosquitto.conf", "w") as f:
            f.write(f"listener {mqtt_port} 127.0.0.1\nallow_anonymous true\npersistence false\n"
                    "max_queued_messages 100000\n")
        start("mosquitto", ["mosquitto", "-c", f"{tmp}/mosquitto.conf"])
        config = [f'[broker]\nurl = "mqtt://127.0.0.1:{mqtt_port}"\ntopic_prefix = "bench"\n'
                  f'client_id = "bench"\nstats_interval_ms = 1000\n\n[site]\nprofile = "{profile}"\n'
                  f'state_dir = "{tmp}"\n']
        for bus in range(buses):
            out = f"{tmp}/sim{bus}.out"
            with open(out, "w") as stdout:
                start(f"sim{bus}", [f"{build}/cli/kelvo-frame", "simulate", "--listen", "tcp://127.0.0.1:0",
                                    "--address", f"1-{per_bus}"], stdout=stdout)
            url = wait_for("a sim", lambda: open(out).readline().strip())
            config.append(f'[[bus]]\nname = "r{bus}"\nport = "{url}"\naddresses = "1-{per_bus}"\n')
        with open(f"{tmp}/gateway.toml", "w") as f:
            f.write("\n".join(config))
        start("gateway", [f"{build}/gateway/kelvo-gateway", "--config", f"{tmp}/gateway.toml"])
        http_port = free_port()
        with open(f"{tmp}/site.toml", "w") as f:
            f.write(f'[broker]\nurl = "mqtt://127.0.0.1:{mqtt_port}"\ntopic_prefixes = ["bench"]\n'
                    f'[store]\nurl = "sqlite://{tmp}/site.db"\n[site]\nprofile = "{profile}"\n'
                    f'[http]\nlisten = "127.0.0.1:{http_port}"\n')
        start("site", [f"{build}/site/kelvo-site", "--config", f"{tmp}/site.toml",
                       "--page-dir", os.path.join(root, "site", "page")])
        base = f"http://127.0.0.1:{http_port}"
        wait_for("kelvo-site", lambda: healthy(f"{base}/healthz"))

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=1280,800"):
            options.add_argument(arg)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.execute_cdp_cmd("Performance.enable", {})
        # Counts the pushed messages and their bytes (no parsing, so as not to add to the cost).
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
          window.kvzPushed = 0; window.kvzPushedBytes = 0;
          const Plain = window.WebSocket;
          window.WebSocket = class extends Plain {
            constructor(...args) {
              super(...args);
              this.addEventListener('message', (e) => { window.kvzPushed += 1; window.kvzPushedBytes += e.data.length; });
            }
          };"""})
        driver.get(f"{base}/")
        total = buses * per_bus
        WebDriverWait(driver, 60, poll_frequency=0.05).until(
            lambda d: d.execute_script("return document.querySelectorAll('[data-unit]').length") >= total)
        tiles_ms = driver.execute_script("return performance.now()")
        # Counts what the pushes change in the tiles, so that an idle page cannot pass for a fast one.
        driver.execute_script("""
          window.kvzChanged = 0;
          new MutationObserver((records) => { window.kvzChanged += records.length; })
            .observe(document.getElementById('tiles'), {subtree: true, characterData: true, childList: true});
        """)
        paint = driver.execute_script(
            "return performance.getEntriesByType('paint').map(e => [e.name, e.startTime])")
        start_metrics = metrics(driver)
        pushed0 = driver.execute_script("return [window.kvzPushed, window.kvzPushedBytes]")
        started = time.monotonic()
        time.sleep(seconds)  # the measured window itself, not a synchronisation
        end_metrics = metrics(driver)
        elapsed = time.monotonic() - started
        task = end_metrics["TaskDuration"] - start_metrics["TaskDuration"]
        script = end_metrics["ScriptDuration"] - start_metrics["ScriptDuration"]
        nodes = end_metrics.get("Nodes")
        heap = end_metrics.get("JSHeapUsedSize", 0) / 1e6
        print(f"units {total}, window {elapsed:.1f} s")
        print(f"main thread busy {100 * task / elapsed:.1f} % (script {100 * script / elapsed:.1f} %)")
        changed = driver.execute_script("return window.kvzChanged")
        pushed1 = driver.execute_script("return [window.kvzPushed, window.kvzPushedBytes]")
        print(f"pushed {(pushed1[0] - pushed0[0]) / elapsed:.1f} messages/s, "
              f"{(pushed1[1] - pushed0[1]) / elapsed / 1e6:.2f} MB/s")
        print(f"first paint: {', '.join(f'{n} {t:.0f} ms' for n, t in paint)}; all {total} tiles by {tiles_ms:.0f} ms")
        print(f"tile changes {changed / elapsed:.0f}/s")
        print(f"DOM nodes {nodes:.0f}, JS heap {heap:.1f} MB")
    finally:
        if driver:
            driver.quit()
        for proc in reversed(procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
