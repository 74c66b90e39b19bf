#!/usr/bin/env python3
"""Tests for the funnel report's aggregation and page (service/report.py).

Run: python3 tests/service/test_report.py
"""

import json
import os
import sys
import unittest
from html.parser import HTMLParser

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "service"))
import report  # noqa: E402

IDENTITY = {"3": "Tavrel", "4": "Tavrel_DLM", "31": "10.0.19045"}


def event(run, event_id, offer=None, at=100.0, client="127.0.0.1", signed=True, **extra):
    """One recorded event of run `run`: the main product's, or the offer's when `offer` is set."""
    data = dict(IDENTITY, **{"1": "machine", "2": run, "6": event_id, "10": 1 if offer is None else 2,
                             "5": "Tavrel" if offer is None else offer})
    data.update(extra)
    return {"time": at, "data": data, "signature_ok": signed, "client": client}


def config_request(code, at=100.0, client="127.0.0.1", **body):
    fields = {"a": "Tavrel", "i": "Tavrel_DLM", "o": "10.0.19045", "u": code}
    fields.update(body)
    return {"time": at, "client": client, "body": json.dumps(fields).encode()}


class TestOutcomes(unittest.TestCase):

    def test_offer_stages(self):
        exec_failed = "EXEC FAILED: Error launching executable: 2"
        table = [
            ("rejected by a rule", [("2", {"13": "NOT ENOUGH RAM"})],
             {"judged", "rejected"}, "NOT ENOUGH RAM", None),
            ("skipped by the flow", [("2", {"13": "SKIP ALL CLICKED"})],
             {"judged", "skipped"}, "SKIP ALL CLICKED", None),
            ("declined", [("4", {})], {"judged", "shown", "declined"}, None, None),
            ("declined, the decline lost, closed", [("5", {})],
             {"judged", "shown", "closed"}, None, None),
            ("downloaded and started", [("3", {})],
             {"judged", "shown", "accepted", "downloaded", "started"}, None, None),
            ("download failed", [("-1", {"12": "DOWNLOAD FAILED: 404"})],
             {"judged", "shown", "accepted", "failed"}, None, "DOWNLOAD FAILED: 404"),
            ("installer not started", [("-1", {"12": exec_failed})],
             {"judged", "shown", "accepted", "downloaded", "failed"}, None, exec_failed),
            ("an id nobody sends", [("9", {})], {"judged"}, None, None),
        ]
        for name, events, stages, reason, failure in table:
            with self.subTest(name):
                self.assertEqual(report.offer_outcome(events), (stages, reason, failure))

    def test_product_stages(self):
        table = [
            ("finished", [("1", {}), ("3", {})], {"started", "finished"}, None),
            ("failure reported as finished", [("1", {}), ("3", {"12": "EXEC FAILED: exit code = 1"})],
             {"started", "failed"}, "EXEC FAILED: exit code = 1"),
            ("failed", [("1", {}), ("-1", {"12": "DOWNLOAD FAILED: x"})], {"started", "failed"},
             "DOWNLOAD FAILED: x"),
            ("closed", [("1", {}), ("5", {})], {"started", "closed"}, None),
        ]
        for name, events, stages, failure in table:
            with self.subTest(name):
                self.assertEqual(report.product_outcome(events), (stages, failure))


class TestBuildReport(unittest.TestCase):

    def campaigns(self, events, requests, **wanted):
        result = report.build_report(events, requests, **wanted)
        json.dumps(result)  # served as it is
        return {c["campaign"]: c for c in result["campaigns"]}

    def test_campaign_is_the_nearest_matching_configuration_request(self):
        run = [event("r1", "1", at=100.0, client="::1")]
        table = [
            ("over the other loopback address", [config_request("ab12-cd", at=101.0)], "ab12-cd"),
            ("the nearer of two", [config_request("old-one", at=40.0), config_request("new-one", at=99.0)],
             "new-one"),
            ("another machine", [config_request("ab12-cd", client="10.0.0.5")], ""),
            ("another installer", [config_request("ab12-cd", i="Other")], ""),
            ("at the window's edge", [config_request("ab12-cd", at=100.0 - report.CAMPAIGN_WINDOW)], "ab12-cd"),
            ("too long before", [config_request("ab12-cd", at=100.0 - report.CAMPAIGN_WINDOW - 1)], ""),
            ("a code that is not text", [config_request(123)], "123"),
        ]
        for name, requests, code in table:
            with self.subTest(name):
                self.assertEqual(list(self.campaigns(run, requests)), [code])

    def test_counts_and_rates_per_offer_over_runs(self):
        events = [
            event("r1", "1"), event("r1", "2", "a", **{"13": "NOT ENOUGH RAM"}), event("r1", "3", "b"),
            event("r1", "4", "c"), event("r1", "3"),
            event("r2", "1", at=200.0), event("r2", "-1", "b", at=200.0, **{"12": "DOWNLOAD FAILED: 404"}),
            event("r2", "5", "c", at=200.0), event("r2", "-1", at=200.0, **{"12": "EXEC FAILED: exit code = 1"}),
        ]
        [entry] = self.campaigns(events, [config_request("ab12-cd"), config_request("ab12-cd", at=200.0)]).values()
        self.assertEqual(entry["runs"], 2)
        self.assertEqual(entry["product"]["counts"], {"started": 2, "finished": 1, "failed": 1, "closed": 0})
        self.assertEqual(entry["product"]["failures"], [{"text": "EXEC FAILED: exit code = 1", "count": 1}])
        offers = {o["offer"]: o for o in entry["offers"]}
        self.assertEqual(offers["b"]["counts"], dict.fromkeys(report.OFFER_STAGES, 0) | {
            "judged": 2, "shown": 2, "accepted": 2, "downloaded": 1, "started": 1, "failed": 1})
        self.assertEqual(offers["b"]["rates"]["failed"], 0.5)
        self.assertEqual(offers["b"]["rates"]["started"], 1.0)
        self.assertIsNone(offers["a"]["rates"]["accepted"])  # never shown: no rate
        self.assertEqual(entry["all_offers"]["counts"]["judged"], 5)
        self.assertEqual(entry["all_offers"]["rates"]["declined"], 0.25)
        self.assertEqual(entry["reasons"], [{"offer": "a", "reason": "NOT ENOUGH RAM", "kind": "rejected",
                                             "count": 1}])
        self.assertEqual(entry["failures"], [{"offer": "b", "text": "DOWNLOAD FAILED: 404", "count": 1}])

    def test_filters_pick_runs_by_campaign_and_first_event(self):
        events = [event("r1", "1", at=100.0), event("r1", "5", at=500.0), event("r2", "1", at=300.0)]
        requests = [config_request("one-aaa", at=100.0), config_request("two-bbb", at=300.0)]
        table = [
            ({}, {"one-aaa": 1, "two-bbb": 1}),
            ({"campaign": "two-bbb"}, {"two-bbb": 1}),
            ({"campaign": "nothing"}, {}),
            # A run belongs where it started, even when it ended later.
            ({"since": 50.0, "until": 300.0}, {"one-aaa": 1}),
            ({"since": 300.0}, {"two-bbb": 1}),
        ]
        for wanted, runs in table:
            with self.subTest(wanted):
                found = self.campaigns(events, requests, **wanted)
                self.assertEqual({code: c["runs"] for code, c in found.items()}, runs)

    def test_unusable_events_are_left_out(self):
        events = [event("r1", "1"), event("r1", "4", "a"), event("r1", "3", signed=False),
                  {"time": 1.0, "data": None, "signature_ok": False, "client": "127.0.0.1"},
                  event("r1", "3", **{"10": 7})]
        result = report.build_report(events, [])
        self.assertEqual((result["events_counted"], result["events_left_out"]), (2, 3))
        self.assertEqual(result["campaigns"][0]["product"]["counts"]["finished"], 0)

    def test_time_filter_texts(self):
        table = [("", None), ("1700000000", 1700000000.0), ("2024-01-02", 1704153600.0),
                 ("2024-01-02T03:04", 1704164640.0), ("2024-01-02 03:04:05Z", 1704164645.0)]
        for given, seconds in table:
            with self.subTest(given):
                self.assertEqual(report.parse_time(given), seconds)
        for given in ("yesterday", "2024-13-01", "2024-01-02T25:00", "-5"):
            with self.subTest(given), self.assertRaises(report.FilterError):
                report.parse_time(given)


class Elements(HTMLParser):
    """Every start tag with its attributes, and the text."""

    def __init__(self, page):
        super().__init__()
        self.tags, self.text = [], []
        self.feed(page)

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))

    def handle_data(self, data):
        self.text.append(data)


class TestPage(unittest.TestCase):

    def test_texts_from_the_database_stay_text(self):
        hostile = '"><script>alert(1)</script><img src=x onerror=alert(2)>\ud800'
        events = [event("r1", "1"), event("r1", "2", hostile, **{"13": hostile}),
                  event("r1", "-1", "b", **{"12": hostile}), event("r1", "-1", **{"12": hostile})]
        result = report.build_report(events, [config_request(hostile)])
        page = report.render_page(result, {"campaign": "", "from": "", "to": ""})
        elements = Elements(page.encode("utf-8", "replace").decode())
        self.assertEqual([t for t, _ in elements.tags if t in ("script", "img")], [])
        self.assertEqual([a for _, attrs in elements.tags for a in attrs if a.startswith("on")], [])
        hostile_text = hostile.replace("\ud800", "?")
        # Campaign, offer, reason, offer failure and product failure, each as text.
        self.assertGreaterEqual("".join(elements.text).count(hostile_text), 5)
        self.assertIn(("section", {"class": "campaign", "data-campaign": hostile_text}), elements.tags)

    def test_chart_bars_scale_with_the_largest_count(self):
        events = [event("r%d" % n, "1", at=100.0 + n) for n in range(4)] + [event("r0", "3", "a")]
        [entry] = report.build_report(events, [])["campaigns"]
        widths = [int(attrs["width"]) for tag, attrs in Elements(report.chart(entry)).tags if tag == "rect"]
        self.assertEqual(widths, [report.BAR_WIDTH, report.BAR_WIDTH // 4, report.BAR_WIDTH // 4,
                                  report.BAR_WIDTH // 4, report.BAR_WIDTH // 4, report.BAR_WIDTH // 4])


if __name__ == "__main__":
    unittest.main(verbosity=2)
