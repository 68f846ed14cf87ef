#!/usr/bin/python3
"""Times vorn-dashboard's page in Debian's headless Chromium: from the start of the navigation to
both charts drawn with their figures, as the page notes it (performance.now() when each chart
first drew after its figures came).

    dashboardpage.py --dashboard PATH --records URL [--runs N]

Prints the milliseconds of each run, one per line. The first navigation, which only fills the
browser's and the system's caches, is not counted. Between runs the page waits out the
dashboard's 2 s of shared answers, so every run's reports are computed anew.
"""

import argparse
import re
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

SharingSeconds = 2.1

DRAWN = '''
const times = ['yield-chart', 'pareto-chart'].map(
  (id) => Number(document.getElementById(id).dataset.figuresDrawnAt || 0));
return times.every((time) => time > 0) ? Math.max(...times) : 0;
'''


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--dashboard', required=True)
    parser.add_argument('--records', required=True)
    parser.add_argument('--runs', type=int, default=10)
    args = parser.parse_args()

    dashboard = subprocess.Popen([args.dashboard, '--records', args.records, '--listen',
                                  '127.0.0.1:0'], stdout=subprocess.PIPE, text=True)
    match = re.search(r' on (http://127\.0\.0\.1:\d+/)$', dashboard.stdout.readline().strip())
    if not match:
        print('vorn-dashboard did not start', file=sys.stderr)
        return 1
    options = webdriver.ChromeOptions()
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1280,900'):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    try:
        for run in range(args.runs + 1):
            time.sleep(SharingSeconds)
            driver.get(match.group(1))
            deadline = time.monotonic() + 30
            drawn = 0
            while not drawn:
                if time.monotonic() > deadline:
                    print('the charts did not draw in 30 s', file=sys.stderr)
                    return 1
                time.sleep(0.02)
                drawn = driver.execute_script(DRAWN)
            if run > 0:
                print(drawn, flush=True)
    finally:
        driver.quit()
        dashboard.terminate()
        dashboard.wait()
    return 0


if __name__ == '__main__':
    sys.exit(main())
