#!/usr/bin/python3
"""vorn-dashboard over HTTPS with a login, as a factory's IT runs it.

A private CA (tests/support/tls_ca.sh) signs the dashboard's certificate; the users file holds
a hash made by `vorn-dashboard --hash-password` from standard input. Without a login the page
and the API answer 401; a wrong password 401 and is logged (its name, never the password); a
sixth failure in a minute is refused with 429; the right login reads the API with HSTS. Then
Debian's Chromium, headless, with the CA trusted through the NSS database of its own profile
(certutil), draws the page with the login, and is answered 401 without it.

    browser_login_test.py --dashboard PATH --writer PATH --ca-script PATH
"""

import argparse
import base64
import os
import re
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

PASSWORD = 'correct horse battery'


class Failure(Exception):
    pass


def check(condition, text):
    if not condition:
        raise Failure(text)


def wait_for(what, condition, seconds):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f'waited {seconds} s for {what}')
        time.sleep(0.05)


def get(address, path, context, password=None):
    """(status, headers, body) of a GET, with a Basic login when password is given."""
    request = urllib.request.Request(address + path)
    if password is not None:
        token = base64.b64encode(f'auditor:{password}'.encode()).decode()
        request.add_header('Authorization', f'Basic {token}')
    try:
        with urllib.request.urlopen(request, context=context, timeout=30) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def run(args, work):
    ca = os.path.join(work, 'ca')
    subprocess.run([args.ca_script, ca, 'dashboard'], check=True)
    records = os.path.join(work, 'records.sqlite')
    subprocess.run([args.writer, f'sqlite:{records}', '0', '6'], check=True,
                   stdout=subprocess.DEVNULL)
    # The password through standard input: it never stands in a process's arguments.
    hashed = subprocess.run([args.dashboard, '--hash-password'], input=PASSWORD + '\n',
                            capture_output=True, text=True, check=True).stdout.strip()
    check(hashed.startswith('$scrypt$') and PASSWORD not in hashed, f'the hash {hashed!r}')
    users = os.path.join(work, 'users')
    with open(users, 'w') as file:
        file.write(f'# who reads the dashboard\nauditor:{hashed}\n')

    # Logins over plain HTTP are refused unless the network is said to be trusted.
    plain = subprocess.run([args.dashboard, '--records', f'sqlite:{records}', '--users', users,
                            '--listen', '127.0.0.1:0'], capture_output=True, text=True,
                           timeout=30)
    check(plain.returncode == 2 and '--insecure-http' in plain.stderr,
          f'a login over plain HTTP: exit {plain.returncode}: {plain.stderr}')

    log = open(os.path.join(work, 'dashboard.log'), 'w+')
    dashboard = subprocess.Popen(
        [args.dashboard, '--records', f'sqlite:{records}', '--listen', '127.0.0.1:0',
         '--tls-cert', os.path.join(ca, 'dashboard.crt'),
         '--tls-key', os.path.join(ca, 'dashboard.key'), '--users', users],
        stdout=subprocess.PIPE, stderr=log, text=True)
    driver = None
    try:
        line = dashboard.stdout.readline()
        served = re.search(r' on https://127\.0\.0\.1:(\d+)/', line)
        check(served, f'the dashboard said {line!r}')
        port = served.group(1)
        address = f'https://localhost:{port}'
        context = ssl.create_default_context(cafile=os.path.join(ca, 'ca.crt'))

        for path in ('/', '/api/report', '/api/records'):
            status, headers, _ = get(address, path, context)
            check(status == 401 and 'Basic' in headers.get('WWW-Authenticate', ''),
                  f'{path} without a login: {status}')
        status, _, _ = get(address, '/api/report', context, 'wrong')
        check(status == 401, f'a wrong password: {status}')
        status, headers, _ = get(address, '/api/report', context, PASSWORD)
        check(status == 200, f'the right login: {status}')
        check('max-age' in headers.get('Strict-Transport-Security', ''), 'no HSTS over HTTPS')
        for _ in range(5):
            status, _, _ = get(address, '/api/report', context, 'guess')
        check(status == 429, f'the sixth failure in a minute: {status}, not 429')
        log.flush()
        log.seek(0)
        logged = log.read()
        check("failed login for 'auditor' from 127.0.0.1" in logged, f'the log: {logged!r}')
        check('guess' not in logged and 'wrong' not in logged, 'a password in the log')

        # The browser: the CA trusted by its profile's NSS database, as an IT department
        # would roll it out.
        home = os.path.join(work, 'home')
        nss = os.path.join(home, '.pki', 'nssdb')
        os.makedirs(nss)
        subprocess.run(['certutil', '-d', f'sql:{nss}', '-N', '--empty-password'], check=True)
        subprocess.run(['certutil', '-d', f'sql:{nss}', '-A', '-n', 'vorn test CA', '-t', 'C,,',
                        '-i', os.path.join(ca, 'ca.crt')], check=True)
        os.environ['HOME'] = home
        options = webdriver.ChromeOptions()
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu',
                         '--window-size=1280,900'):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        # The login the browser would ask for, sent with every request of the page.
        token = base64.b64encode(f'auditor:{PASSWORD}'.encode()).decode()
        driver.execute_cdp_cmd('Network.enable', {})
        driver.execute_cdp_cmd('Network.setExtraHTTPHeaders',
                               {'headers': {'Authorization': f'Basic {token}'}})
        driver.get(address + '/')
        wait_for('the page to show its figures', lambda: driver.execute_script(
            "const e = document.getElementById('readers');"
            "return e && e.textContent.trim() !== '' && e.textContent.trim() !== '–';"), 20)
        check(driver.execute_script('return location.protocol') == 'https:', 'not over HTTPS')
        # Without the login the same browser's request is refused.
        driver.execute_cdp_cmd('Network.setExtraHTTPHeaders', {'headers': {}})
        status = driver.execute_async_script(
            "fetch('/api/report', {credentials: 'omit', cache: 'no-store'})"
            ".then((r) => arguments[0](r.status), (e) => arguments[0](String(e)));")
        check(status == 401, f'the browser without a login: {status}, not 401')
    finally:
        if driver:
            driver.quit()
        dashboard.terminate()
        dashboard.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--dashboard', required=True)
    parser.add_argument('--writer', required=True)
    parser.add_argument('--ca-script', required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        try:
            run(args, work)
        except Failure as failure:
            print(f'FAIL: {failure}')
            return 1
    print('dashboard over HTTPS with a login: passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
