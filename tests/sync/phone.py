#!/usr/bin/python3
"""The phone in the sync tests: another CalDAV client (python3-caldav) on the same calendar.

Usage: phone.py CALENDAR_URL USER PASSWORD COMMAND [ARGS]
  list                      print the calendar's events as JSON: [{"href","uid","data"}]
  add                       store each VCALENDAR of the iCalendar text on stdin as a new event
  edit UID                  change the event whose UID is UID; stdin holds JSON:
                            {"SUMMARY": text, "DESCRIPTION": text, "LOCATION": text,
                             "DATE": "YYYY-MM-DD" (moves an all-day or timed event to that day),
                             "REMOVE": [property names], "ADD_ALARM": true}
  delete UID                delete the event whose UID is UID
  occurrences FROM TO       print every occurrence from FROM to TO (YYYY-MM-DD, TO excluded) as
                            the phone expands them: [{"uid","start","summary","override"}],
                            start in ISO form (a date, or a time with its UTC offset)
  edit-occurrence UID DAY   change the occurrence of UID's series on DAY (YYYY-MM-DD) as a phone
                            does: its override, made when missing; stdin holds {"SUMMARY": text}
  delete-occurrence UID DAY leave the occurrence on DAY out of UID's series (an EXDATE)
  batch                     several of the above at once; stdin holds a JSON list of
                            {"op": "add", "ics": text} or {"op": "edit" or "delete",
                             "summary": SUMMARY of the event, "change": {as for edit}}
USER and PASSWORD may be "-" for a server without authentication.
"""

import datetime
import json
import sys

import caldav
import icalendar
import recurring_ical_events


def client(url, user, password):
    if user == "-":
        return caldav.DAVClient(url=url)
    return caldav.DAVClient(url=url, username=user, password=password)


def find(calendar, uid=None, summary=None):
    for event in calendar.events():
        vevent = event.icalendar_instance.walk("VEVENT")[0]
        if uid is not None and str(vevent.get("UID")) == uid:
            return event
        if summary is not None and str(vevent.get("SUMMARY")) == summary:
            return event
    sys.exit("no event %s" % (uid or summary))


def shift(component, name, date):
    if name not in component:
        return
    value = component[name].dt
    if isinstance(value, datetime.datetime):
        new = value.replace(year=date.year, month=date.month, day=date.day)
    else:
        new = date
    params = dict(component[name].params)
    del component[name]
    component.add(name, new)
    for key, param in params.items():
        if key != "VALUE":
            component[name].params[key] = param


def main():
    url, user, password, command = sys.argv[1:5]
    args = sys.argv[5:]
    dav = client(url, user, password)
    calendar = dav.calendar(url=url)
    if command == "list":
        out = []
        for event in calendar.events():
            uid = str(event.icalendar_instance.walk("VEVENT")[0].get("UID"))
            out.append({"href": str(event.url), "uid": uid, "data": event.data})
        json.dump(out, sys.stdout, ensure_ascii=False)
    elif command == "add":
        text = sys.stdin.read()
        end = "END:VCALENDAR"
        for part in text.split(end):
            if part.strip():
                calendar.save_event(part.lstrip() + end + "\r\n")
    elif command == "edit":
        edit(find(calendar, uid=args[0]), json.load(sys.stdin))
    elif command == "delete":
        find(calendar, uid=args[0]).delete()
    elif command == "occurrences":
        json.dump(occurrences(calendar, args[0], args[1]), sys.stdout, ensure_ascii=False)
    elif command == "edit-occurrence":
        edit_occurrence(find(calendar, uid=args[0]), args[1], json.load(sys.stdin))
    elif command == "delete-occurrence":
        delete_occurrence(find(calendar, uid=args[0]), args[1])
    elif command == "batch":
        for op in json.load(sys.stdin):
            if op["op"] == "add":
                calendar.save_event(op["ics"])
            elif op["op"] == "edit":
                edit(find(calendar, summary=op["summary"]), op["change"])
            elif op["op"] == "delete":
                find(calendar, summary=op["summary"]).delete()
    else:
        sys.exit("unknown command " + command)


def occurrences(calendar, start, end):
    out = []
    first = datetime.date.fromisoformat(start)
    last = datetime.date.fromisoformat(end)
    for event in calendar.events():
        for o in recurring_ical_events.of(event.icalendar_instance).between(first, last):
            out.append({"uid": str(o.get("UID")), "start": o["DTSTART"].dt.isoformat(),
                        "summary": str(o.get("SUMMARY")),
                        "override": "RECURRENCE-ID" in o})
    out.sort(key=lambda o: (o["start"], o["uid"]))
    return out


def series(event):
    for component in event.icalendar_instance.walk("VEVENT"):
        if "RECURRENCE-ID" not in component:
            return component
    sys.exit("no series")


def occurrence_start(event, day):
    """The start of the occurrence on day, in the series' own zone, as the series makes it."""
    master = series(event)
    wanted = datetime.date.fromisoformat(day)
    start = master["DTSTART"].dt
    for o in recurring_ical_events.of(event.icalendar_instance).between(
            wanted - datetime.timedelta(days=1), wanted + datetime.timedelta(days=2)):
        if "RECURRENCE-ID" in o:
            value = o["RECURRENCE-ID"].dt
        else:
            value = o["DTSTART"].dt
        if isinstance(start, datetime.datetime):
            value = value.astimezone(start.tzinfo) if start.tzinfo else value
            if value.date() == wanted:
                return value
        elif value == wanted:
            return value
    sys.exit("no occurrence on %s" % day)


def add_time(component, name, value, like):
    parameters = {"TZID": like.params["TZID"]} if "TZID" in like.params else None
    component.add(name, value, parameters=parameters)


def edit_occurrence(event, day, change):
    cal = event.icalendar_instance
    master = series(event)
    start = occurrence_start(event, day)
    override = None
    for component in cal.walk("VEVENT"):
        if "RECURRENCE-ID" in component and component["RECURRENCE-ID"].dt == start:
            override = component
    if override is None:
        override = icalendar.Event()
        for name, value in master.property_items(recursive=False):
            if name in ("BEGIN", "END", "RRULE", "RDATE", "EXDATE", "DTSTART", "DTEND"):
                continue
            override.add(name, value)
        length = master["DTEND"].dt - master["DTSTART"].dt
        add_time(override, "RECURRENCE-ID", start, master["DTSTART"])
        add_time(override, "DTSTART", start, master["DTSTART"])
        add_time(override, "DTEND", start + length, master["DTSTART"])
        cal.add_component(override)
    for name in ("SUMMARY",):
        if name in change:
            del override[name]
            override.add(name, change[name])
    event.save()


def delete_occurrence(event, day):
    master = series(event)
    start = occurrence_start(event, day)
    add_time(master, "EXDATE", start, master["DTSTART"])
    event.save()


def edit(event, change):
    cal = event.icalendar_instance
    for component in cal.walk("VEVENT"):
        if "RECURRENCE-ID" in component:
            continue
        for name in ("SUMMARY", "DESCRIPTION", "LOCATION"):
            if name in change:
                if name in component:
                    del component[name]
                component.add(name, change[name])
        for name in change.get("REMOVE", []):
            if name in component:
                del component[name]
        if "DATE" in change:
            date = datetime.date.fromisoformat(change["DATE"])
            start = component["DTSTART"].dt
            start_date = start.date() if isinstance(start, datetime.datetime) else start
            if "DTEND" in component:
                end = component["DTEND"].dt
                end_date = end.date() if isinstance(end, datetime.datetime) else end
                shift(component, "DTEND", date + (end_date - start_date))
            shift(component, "DTSTART", date)
        if change.get("ADD_ALARM"):
            alarm = icalendar.Alarm()
            alarm.add("ACTION", "DISPLAY")
            alarm.add("DESCRIPTION", "reminder")
            alarm.add("TRIGGER", datetime.timedelta(minutes=-15))
            component.add_component(alarm)
    event.save()


if __name__ == "__main__":
    main()
