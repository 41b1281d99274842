-- Registers the utility to be opened at login, once: the handler is called at every
-- launch with the application bundle's path.
on add_Vantrel_to_loginitems(appPath)
	tell application "System Events"
		set knownPaths to path of every login item
		if knownPaths does not contain appPath then
			make login item at end with properties {path:appPath, hidden:false}
		end if
	end tell
end add_Vantrel_to_loginitems
