"""The funnel report: what the recorded events say happened to the wizards and to their offers,
per campaign and per offer, as a page (GET /report) and as JSON (GET /report.json).

The definitions are in service/README.md. Everything here only reads what the service
recorded; every text taken from it is escaped where it is shown.
"""

import base64
import hashlib
import html
import ipaddress
import json
import re
from datetime import datetime, timezone
from urllib.parse import parse_qs, urlencode

# Reasons the offer flow gives for offers it skips; every other "not shown" reason is a rule's.
FLOW_REASONS = frozenset({
    "SKIP ALL CLICKED", "SKIPPED BECAUSE OF EARLIER DECLINE",
    "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", "SKIP ALL AFTER DECLINE OFFER DECLINED",
})
# A run's configuration request is the one nearest to its first event, no further than this.
CAMPAIGN_WINDOW = 120.0

OFFER_STAGES = ("judged", "rejected", "skipped", "shown", "accepted", "declined", "downloaded",
                "started", "failed", "closed")
OFFER_RATE_BASES = {"rejected": "judged", "skipped": "judged", "shown": "judged",
                    "accepted": "shown", "declined": "shown", "closed": "shown",
                    "downloaded": "accepted", "failed": "accepted", "started": "downloaded"}
PRODUCT_STAGES = ("started", "finished", "failed", "closed")
PRODUCT_RATE_BASES = {"finished": "started", "failed": "started", "closed": "started"}
STAGE_TITLES = {"judged": "Judged", "rejected": "Rejected", "skipped": "Skipped", "shown": "Shown",
                "accepted": "Accepted", "declined": "Declined", "downloaded": "Downloaded",
                "started": "Started", "failed": "Failed", "closed": "Closed",
                "finished": "Finished"}


def text_of(value):
    """A payload member as text; anything that is not a string is shown as its JSON."""
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    return json.dumps(value, ensure_ascii=False, sort_keys=True)


def client_key(address):
    # Wine may reach the service over ::1 or 127.0.0.1 within one run: loopback is one client.
    try:
        ip = ipaddress.ip_address((address or "").split("%", 1)[0])
    except ValueError:
        return address or ""
    if isinstance(ip, ipaddress.IPv6Address) and ip.ipv4_mapped is not None:
        ip = ip.ipv4_mapped
    return "loopback" if ip.is_loopback else str(ip)


# ---------------------------------------------------------------------------
# Filter


class FilterError(ValueError):
    pass


def parse_time(value):
    """Unix seconds, or a UTC date (YYYY-MM-DD) or date and time (YYYY-MM-DDTHH:MM[:SS][Z])."""
    value = value.strip()
    if not value:
        return None
    if re.fullmatch(r"\d{1,11}(\.\d{1,6})?", value):
        return float(value)
    match = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)(?:[T ](\d\d):(\d\d)(?::(\d\d))?)?Z?", value)
    if match is None:
        raise FilterError("not a time: %s" % value)
    try:
        moment = datetime(*(int(g or 0) for g in match.groups()), tzinfo=timezone.utc)
    except ValueError:
        raise FilterError("not a time: %s" % value) from None
    return moment.timestamp()


def parse_filter(query):
    """campaign (None: all), since and until (None: open) from the query string; the texts as
    given, for showing them again."""
    try:
        fields = parse_qs(query, keep_blank_values=True, errors="replace", max_num_fields=20)
    except ValueError:
        raise FilterError("too many query fields") from None
    given = {name: fields.get(name, [""])[0] for name in ("campaign", "from", "to")}
    return {"campaign": given["campaign"] or None, "since": parse_time(given["from"]),
            "until": parse_time(given["to"]), "given": given}


# ---------------------------------------------------------------------------
# Aggregation


def collect_runs(events):
    """Groups the usable events by run (machine id "1" and run stamp "2"). Returns the runs in
    order of their first event and the number of events left out."""
    runs = {}
    left_out = 0
    for event in events:
        data = event.get("data")
        kind = text_of(data.get("10")) if isinstance(data, dict) else ""
        if not event.get("signature_ok") or kind not in ("1", "2"):
            left_out += 1
            continue
        key = (text_of(data.get("1")), text_of(data.get("2")))
        run = runs.get(key)
        if run is None:
            run = runs[key] = {
                "start": event["time"], "client": client_key(event.get("client")),
                "identity": tuple(text_of(data.get(k)) for k in ("3", "4", "31")),
                "product": [], "offers": {},
            }
        item = (text_of(data.get("6")), data)
        if kind == "1":
            run["product"].append(item)
        else:
            run["offers"].setdefault(text_of(data.get("5")), []).append(item)
    return list(runs.values()), left_out


def configuration_requests(requests):
    """(time, client, (account, installer, OS version), campaign code) of each configuration
    request whose body is a JSON object."""
    out = []
    for request in requests:
        try:
            body = json.loads(bytes(request["body"]).decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            continue
        if isinstance(body, dict):
            identity = tuple(text_of(body.get(k)) for k in ("a", "i", "o"))
            out.append((request["time"], client_key(request.get("client")), identity,
                        text_of(body.get("u"))))
    return out


def campaign_of(run, requests):
    """The campaign code of the configuration request from the run's client with the run's
    account, installer name and OS version that came nearest to the run's first event."""
    best = None
    for when, client, identity, code in requests:
        if client != run["client"] or identity != run["identity"]:
            continue
        gap = abs(when - run["start"])
        if gap <= CAMPAIGN_WINDOW and (best is None or gap < best[0]):
            best = (gap, code)
    return best[1] if best else ""


def _failure(item):
    event_id, data = item
    text = text_of(data.get("12"))
    return event_id == "-1" or (event_id == "3" and text != "")


def _success(item):
    return item[0] == "3" and text_of(item[1].get("12")) == ""


def offer_outcome(items):
    """The stages one offer reached in one run, its "not shown" reason and its failure text."""
    ids = {event_id for event_id, _ in items}
    stages = {"judged"}
    reason = failure = None
    if "2" in ids:
        reason = text_of(next(d for i, d in items if i == "2").get("13"))
        stages.add("skipped" if reason in FLOW_REASONS else "rejected")
        return stages, reason, failure
    if not ids & {"-1", "3", "4", "5"}:
        return stages, reason, failure
    stages.add("shown")
    if "5" in ids:
        stages.add("closed")
    if "4" in ids:
        stages.add("declined")
        return stages, reason, failure
    succeeded = any(_success(item) for item in items)
    failed = next((item for item in items if _failure(item)), None)
    if succeeded:
        stages |= {"accepted", "downloaded", "started"}
    elif failed is not None:
        stages |= {"accepted", "failed"}
        failure = text_of(failed[1].get("12"))
        # The installer could not be started: it had downloaded.
        if failure.startswith("EXEC FAILED: "):
            stages.add("downloaded")
    return stages, reason, failure


def product_outcome(items):
    ids = {event_id for event_id, _ in items}
    stages = set()
    failure = None
    if "1" in ids:
        stages.add("started")
    if "5" in ids:
        stages.add("closed")
    failed = next((item for item in items if _failure(item)), None)
    if any(_success(item) for item in items):
        stages.add("finished")
    elif failed is not None:
        stages.add("failed")
        failure = text_of(failed[1].get("12"))
    return stages, failure


def with_rates(counts, bases):
    rates = {}
    for stage, base in bases.items():
        rates[stage] = round(counts[stage] / counts[base], 4) if counts[base] else None
    return {"counts": counts, "rates": rates}


def build_report(events, requests, campaign=None, since=None, until=None):
    """The report as a JSON-ready object. events: {"time", "data", "signature_ok", "client"};
    requests: the configuration requests, {"time", "client", "body"}."""
    runs, left_out = collect_runs(events)
    configs = configuration_requests(requests)
    in_range = [r for r in runs if (since is None or r["start"] >= since)
                and (until is None or r["start"] < until)]
    for run in in_range:
        run["campaign"] = campaign_of(run, configs)
    known = sorted({run["campaign"] for run in in_range})
    chosen = [r for r in in_range if campaign is None or r["campaign"] == campaign]

    groups = {}
    for run in chosen:
        group = groups.setdefault(run["campaign"], {
            "runs": 0, "product": dict.fromkeys(PRODUCT_STAGES, 0), "product_failures": {},
            "offers": {}, "reasons": {}, "failures": {}})
        group["runs"] += 1
        stages, failure = product_outcome(run["product"])
        for stage in stages:
            group["product"][stage] += 1
        if failure is not None:
            group["product_failures"][failure] = group["product_failures"].get(failure, 0) + 1
        for offer, items in run["offers"].items():
            counts = group["offers"].setdefault(offer, dict.fromkeys(OFFER_STAGES, 0))
            stages, reason, failure = offer_outcome(items)
            for stage in stages:
                counts[stage] += 1
            if reason is not None:
                key = (offer, reason, "skipped" if reason in FLOW_REASONS else "rejected")
                group["reasons"][key] = group["reasons"].get(key, 0) + 1
            if failure is not None:
                group["failures"][(offer, failure)] = group["failures"].get((offer, failure), 0) + 1

    campaigns = []
    for code in sorted(groups):
        group = groups[code]
        every = dict.fromkeys(OFFER_STAGES, 0)
        for counts in group["offers"].values():
            for stage in OFFER_STAGES:
                every[stage] += counts[stage]
        campaigns.append({
            "campaign": code, "runs": group["runs"],
            "product": dict(with_rates(group["product"], PRODUCT_RATE_BASES), failures=[
                {"text": t, "count": n} for t, n in sorted(group["product_failures"].items())]),
            "offers": [dict(offer=offer, **with_rates(counts, OFFER_RATE_BASES))
                       for offer, counts in sorted(group["offers"].items())],
            "all_offers": with_rates(every, OFFER_RATE_BASES),
            "reasons": [{"offer": o, "reason": r, "kind": k, "count": n}
                        for (o, r, k), n in sorted(group["reasons"].items())],
            "failures": [{"offer": o, "text": t, "count": n}
                         for (o, t), n in sorted(group["failures"].items())],
        })
    counted = sum(len(r["product"]) + sum(len(i) for i in r["offers"].values()) for r in chosen)
    return {"filter": {"campaign": campaign, "from": since, "to": until},
            "runs": len(chosen), "events_counted": counted,
            "events_left_out": left_out, "campaigns_in_range": known, "campaigns": campaigns}


# ---------------------------------------------------------------------------
# The page

STYLE = (
    "body{font:14px/1.4 sans-serif;margin:24px;color:#212121;background:#fafafa}"
    "h1{font-size:22px;margin:0 0 12px}h2{font-size:18px;margin:28px 0 8px}"
    "form{margin:0 0 12px}label{margin-right:12px}input{width:150px}"
    "table{border-collapse:collapse;margin:8px 0 16px;background:#fff}"
    "caption{text-align:left;font-weight:bold;padding:4px 0}"
    "th,td{border:1px solid #ccc;padding:3px 8px;text-align:right}"
    "th:first-child,.text{text-align:left}select{max-width:260px}"
    ".rate{color:#666;font-size:12px;margin-left:4px}"
    "tfoot th,tfoot td{font-weight:bold}.empty{color:#666}"
    "svg text{font:12px sans-serif;fill:#212121}"
)
CONTENT_SECURITY_POLICY = (
    "default-src 'none'; style-src 'sha256-%s'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'" % base64.b64encode(hashlib.sha256(STYLE.encode()).digest()).decode())
REPORT_HEADERS = {"Content-Security-Policy": CONTENT_SECURITY_POLICY,
                  "X-Content-Type-Options": "nosniff", "Referrer-Policy": "no-referrer",
                  "Cache-Control": "no-store"}
CHART_STAGES = (("product", "started", "Wizards started"), ("offers", "judged", "Offers judged"),
                ("offers", "shown", "Offers shown"), ("offers", "accepted", "Accepted"),
                ("offers", "downloaded", "Downloaded"), ("offers", "started", "Started"))
BAR_WIDTH = 320


def esc(value):
    return html.escape(value, quote=True)


def utc_text(seconds):
    return datetime.fromtimestamp(seconds, timezone.utc).strftime("%Y-%m-%d %H:%M:%S UTC")


def campaign_title(code):
    return "<q>%s</q>" % esc(code) if code else "without a campaign code"


def cell(stage, block):
    count = block["counts"][stage]
    rate = block["rates"].get(stage)
    shown = '<span class="n">%d</span>' % count
    if rate is not None:
        shown += '<span class="rate">%d%%</span>' % round(rate * 100)
    return '<td data-stage="%s">%s</td>' % (stage, shown)


def chart(entry):
    """Horizontal bars of the campaign's funnel, inline SVG."""
    values = [(label, entry["product"]["counts"][stage] if source == "product"
               else entry["all_offers"]["counts"][stage]) for source, stage, label in CHART_STAGES]
    top = max([v for _, v in values] + [1])
    rows = []
    for index, (label, value) in enumerate(values):
        y = 8 + index * 22
        width = round(BAR_WIDTH * value / top)
        rows.append('<text x="0" y="%d">%s</text><rect x="130" y="%d" width="%d" height="14" '
                    'fill="#0277bd"/><text x="%d" y="%d">%d</text>'
                    % (y + 11, label, y, width, 136 + width, y + 11, value))
    return ('<svg xmlns="http://www.w3.org/2000/svg" class="chart" width="%d" height="%d" '
            'role="img" aria-label="Funnel">%s</svg>'
            % (130 + BAR_WIDTH + 40, 16 + 22 * len(values), "".join(rows)))


def campaign_section(entry):
    code = entry["campaign"]
    out = ['<section class="campaign" data-campaign="%s">' % esc(code),
           "<h2>Campaign %s: %d run%s</h2>" % (campaign_title(code), entry["runs"],
                                              "" if entry["runs"] == 1 else "s"),
           chart(entry),
           '<table class="product"><caption>Main product</caption><tr>%s</tr>'
           % "".join("<th>%s</th>" % ("Wizards started" if s == "started" else STAGE_TITLES[s])
                     for s in PRODUCT_STAGES),
           '<tr data-package="product">%s</tr></table>'
           % "".join(cell(s, entry["product"]) for s in PRODUCT_STAGES)]
    head = "".join("<th>%s</th>" % STAGE_TITLES[s] for s in OFFER_STAGES)
    out.append('<table class="offers"><caption>Offers</caption><thead><tr><th>Offer</th>%s</tr>'
               "</thead><tbody>" % head)
    for offer in entry["offers"]:
        out.append('<tr data-offer="%s"><th scope="row">%s</th>%s</tr>' % (
            esc(offer["offer"]), esc(offer["offer"]),
            "".join(cell(s, offer) for s in OFFER_STAGES)))
    out.append('</tbody><tfoot><tr data-offer-total=""><th scope="row">All offers</th>%s</tr>'
               "</tfoot></table>" % "".join(cell(s, entry["all_offers"]) for s in OFFER_STAGES))
    if entry["reasons"]:
        out.append('<table class="reasons"><caption>Not shown, by reason</caption><tr>'
                   '<th>Offer</th><th class="text">Reason</th><th class="text">Kind</th>'
                   '<th>Count</th></tr>')
        for r in entry["reasons"]:
            out.append('<tr data-offer="%s" data-reason="%s"><td class="text">%s</td>'
                       '<td class="text">%s</td><td class="text">%s</td><td class="n">%d</td></tr>'
                       % (esc(r["offer"]), esc(r["reason"]), esc(r["offer"]), esc(r["reason"]),
                          r["kind"], r["count"]))
        out.append("</table>")
    failures = [("", f["text"], f["count"]) for f in entry["product"]["failures"]] + [
        (f["offer"], f["text"], f["count"]) for f in entry["failures"]]
    if failures:
        out.append('<table class="failures"><caption>Failures</caption><tr><th>Package</th>'
                   '<th class="text">Text</th><th>Count</th></tr>')
        for offer, text, count in failures:
            out.append('<tr data-offer="%s"><td class="text">%s</td><td class="text">%s</td>'
                       '<td class="n">%d</td></tr>' % (
                           esc(offer), esc(offer) if offer else "main product", esc(text), count))
        out.append("</table>")
    out.append("</section>")
    return "".join(out)


def render_page(report, given):
    options = ['<option value="">all campaigns</option>']
    for code in report["campaigns_in_range"]:
        if code:
            options.append('<option value="%s"%s>%s</option>' % (
                esc(code), " selected" if code == report["filter"]["campaign"] else "", esc(code)))
    json_link = "/report.json?" + urlencode({k: v for k, v in given.items() if v})
    scope = []
    if report["filter"]["campaign"] is not None:
        scope.append("campaign %s" % campaign_title(report["filter"]["campaign"]))
    if report["filter"]["from"] is not None:
        scope.append("from %s" % utc_text(report["filter"]["from"]))
    if report["filter"]["to"] is not None:
        scope.append("until %s" % utc_text(report["filter"]["to"]))
    body = "".join(campaign_section(c) for c in report["campaigns"]) or (
        '<p class="empty">No runs match.</p>')
    return (
        '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">'
        "<title>Brindle funnel report</title><style>%s</style></head><body>"
        "<h1>Funnel report</h1>"
        '<form method="get" action="/report"><label>Campaign <select name="campaign">%s</select>'
        '</label><label>From <input name="from" value="%s" placeholder="YYYY-MM-DD"></label>'
        '<label>To <input name="to" value="%s" placeholder="YYYY-MM-DDTHH:MM"></label>'
        '<button type="submit">Show</button></form>'
        '<p class="summary">Showing %s: <span data-total="runs">%d</span> run(s), '
        '<span data-total="events">%d</span> events in them; '
        '<span data-total="left-out">%d</span> events of no run left out (unreadable, wrongly '
        'signed or of no package). <a href="%s">JSON</a></p>%s</body></html>'
        % (STYLE, "".join(options), esc(given["from"]), esc(given["to"]),
           ", ".join(scope) or "all runs", report["runs"], report["events_counted"],
           report["events_left_out"], esc(json_link), body))


def render_error(message):
    return ('<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>Brindle funnel '
            'report</title><style>%s</style></head><body><h1>Funnel report</h1>'
            '<p class="error">%s</p></body></html>' % (STYLE, esc(message)))
